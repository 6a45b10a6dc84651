#include "d2xx_calls.h"

#include "rig.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace sim {
namespace calls {

namespace {

constexpr std::uint32_t kMinBaud = 183;
constexpr std::uint32_t kMaxBaud = 3000000;
constexpr std::size_t kInfoSerialSize = 16;
constexpr std::size_t kInfoDescriptionSize = 64;
// FTDI's documented range for FT_SetLatencyTimer.
constexpr std::uint8_t kMinLatencyMs = 2;
// FTDI's status for a device information entry asked before any list was made.
constexpr FT_STATUS kDeviceListNotReady = 19;
constexpr std::uint32_t kFlagOpened = 1;

// One D2XX call: holds the rig's lock, builds the trace line and writes it when finished.
class Call {
public:
    explicit Call(const char* function) : line(function), rig_(theRig()), lock_(rig_.mutex()) {
        rig_.ensureLoaded();
    }

    // The bridge behind handle, or null with status() saying why: FT_INVALID_HANDLE for null,
    // closed and unknown handles, FT_IO_ERROR for a handle whose bridge was cycled away (unless
    // the call may still use it).
    Bridge* resolve(FT_HANDLE handle, bool deadHandleUsable = false) {
        Rig::Handle* entry = rig_.lookup(handle);
        if (entry == nullptr) {
            line.bridge(-1);
            status_ = FT_INVALID_HANDLE;
            return nullptr;
        }
        line.bridge(entry->bridge);
        const bool gone = entry->dead || rig_.bridge(entry->bridge).left(now());
        if (gone && !deadHandleUsable) {
            status_ = FT_IO_ERROR;
            return nullptr;
        }
        return &rig_.bridge(entry->bridge);
    }

    FT_STATUS status() const { return status_; }
    FT_STATUS finish(FT_STATUS status) {
        rig_.trace().write(line, status);
        rig_.changed();
        return status;
    }
    Rig& rig() { return rig_; }
    std::unique_lock<std::mutex>& lock() { return lock_; }

    TraceLine line;

private:
    Rig& rig_;
    std::unique_lock<std::mutex> lock_;
    FT_STATUS status_ = FT_OK;
};

bool validFraming(std::uint8_t wordLength, std::uint8_t stopBits, std::uint8_t parity) {
    return (wordLength == FT_BITS_7 || wordLength == FT_BITS_8) &&
           (stopBits == FT_STOP_BITS_1 || stopBits == FT_STOP_BITS_2) && parity <= 4;
}

bool validFlowControl(std::uint16_t mode) {
    return mode == 0x0000 || mode == 0x0100 || mode == 0x0200 || mode == 0x0400;
}

void copyBounded(const std::string& text, char* out, std::size_t size) {
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

// A call stuck in the driver: it never returns, but lets the rest of the rig go on.
[[noreturn]] void hangForever(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}

} // namespace

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* handle) {
    Call call("FT_Open");
    call.line.add("index", deviceNumber);
    if (handle == nullptr) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    const std::vector<int> present = call.rig().presentBridges(now());
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= present.size()) {
        return call.finish(FT_DEVICE_NOT_FOUND);
    }
    const int index = present[static_cast<std::size_t>(deviceNumber)];
    Bridge& bridge = call.rig().bridge(index);
    if (bridge.config().open == OpenMode::Fail || bridge.isOpen() || bridge.busy(now())) {
        return call.finish(FT_DEVICE_NOT_OPENED);
    }
    if (bridge.config().open == OpenMode::NullHandle) {
        // Success without a handle; the bridge stays closed, so calls on null are refused.
        *handle = nullptr;
        return call.finish(FT_OK);
    }
    bridge.open(now());
    *handle = call.rig().issueHandle(index);
    return call.finish(FT_OK);
}

FT_STATUS FT_Close(FT_HANDLE handle) {
    Call call("FT_Close");
    Bridge* bridge = call.resolve(handle, true);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (!call.rig().lookup(handle)->dead && !bridge->left(now())) {
        bridge->close();
    }
    bridge->handleClosed();
    call.rig().release(handle);
    return call.finish(FT_OK);
}

FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, std::uint32_t bytesToRead,
                  std::uint32_t* bytesReturned) {
    Call call("FT_Read");
    Bridge* bridge = call.resolve(handle);
    call.line.add("wanted", bytesToRead);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (buffer == nullptr || bytesReturned == nullptr) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    *bytesReturned = 0;
    const Micros start = now();
    const Micros deadline =
        bridge->readTimeoutMs == 0 ? kNever : start + millis(bridge->readTimeoutMs);
    for (;;) {
        const Micros t = now();
        bridge->advance(t);
        if (bridge->readsFail(t) || bridge->left(t)) {
            call.line.add("got", 0);
            return call.finish(FT_IO_ERROR);
        }
        if (bridge->readsHang(t)) {
            hangForever(call.lock());
        }
        if (bridge->available() >= bytesToRead || t >= deadline) {
            break;
        }
        // Wait, without holding the rig, until this bridge's next event or another call.
        call.rig().waitForChange(call.lock(), std::min(deadline, bridge->nextEvent()));
        Rig::Handle* entry = call.rig().lookup(handle);
        if (entry == nullptr || entry->dead) {
            call.line.add("got", 0);
            return call.finish(FT_IO_ERROR);
        }
        bridge = &call.rig().bridge(entry->bridge);
    }
    const std::size_t got = bridge->take(static_cast<std::uint8_t*>(buffer), bytesToRead);
    *bytesReturned = static_cast<std::uint32_t>(got);
    call.line.add("got", static_cast<long long>(got)).data(buffer, *bytesReturned);
    return call.finish(FT_OK);
}

FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, std::uint32_t bytesToWrite,
                   std::uint32_t* bytesWritten) {
    Call call("FT_Write");
    Bridge* bridge = call.resolve(handle);
    call.line.add("length", bytesToWrite);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if ((buffer == nullptr && bytesToWrite > 0) || bytesWritten == nullptr) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    const WriteOutcome outcome =
        bridge->write(now(), static_cast<const std::uint8_t*>(buffer), bytesToWrite);
    *bytesWritten = outcome.accepted;
    call.line.add("written", outcome.accepted).data(buffer, outcome.accepted);
    return call.finish(outcome.fails ? FT_IO_ERROR : FT_OK);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, std::uint32_t baudRate) {
    Call call("FT_SetBaudRate");
    Bridge* bridge = call.resolve(handle);
    call.line.add("baud", baudRate);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (baudRate < kMinBaud || baudRate > kMaxBaud) {
        return call.finish(FT_INVALID_BAUD_RATE);
    }
    bridge->advance(now());
    bridge->line.baud = baudRate;
    return call.finish(FT_OK);
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                    std::uint8_t stopBits, std::uint8_t parity) {
    Call call("FT_SetDataCharacteristics");
    Bridge* bridge = call.resolve(handle);
    call.line.add("bits", wordLength).add("stop", stopBits).add("parity", parity);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (!validFraming(wordLength, stopBits, parity)) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    bridge->advance(now());
    bridge->line.wordLength = wordLength;
    bridge->line.stopBits = stopBits;
    bridge->line.parity = parity;
    return call.finish(FT_OK);
}

FT_STATUS FT_SetFlowControl(FT_HANDLE handle, std::uint16_t flowControl, std::uint8_t xonChar,
                            std::uint8_t xoffChar) {
    Call call("FT_SetFlowControl");
    Bridge* bridge = call.resolve(handle);
    call.line.add("mode", flowControl);
    if (flowControl == 0x0400) {
        call.line.add("xon", xonChar).add("xoff", xoffChar);
    }
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (!validFlowControl(flowControl)) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    bridge->advance(now());
    bridge->line.flowControl = flowControl;
    return call.finish(FT_OK);
}

FT_STATUS FT_SetDtr(FT_HANDLE handle) {
    Call call("FT_SetDtr");
    Bridge* bridge = call.resolve(handle);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    bridge->setDtr(now(), true);
    return call.finish(FT_OK);
}

FT_STATUS FT_ClrDtr(FT_HANDLE handle) {
    Call call("FT_ClrDtr");
    Bridge* bridge = call.resolve(handle);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    bridge->setDtr(now(), false);
    if (bridge->takeVersionChanged()) {
        call.rig().saveState();
    }
    return call.finish(FT_OK);
}

FT_STATUS FT_Purge(FT_HANDLE handle, std::uint32_t mask) {
    Call call("FT_Purge");
    Bridge* bridge = call.resolve(handle);
    call.line.add("mask", mask);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if ((mask & ~(FT_PURGE_RX | FT_PURGE_TX)) != 0) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    bridge->purge(now(), mask);
    return call.finish(FT_OK);
}

FT_STATUS FT_SetTimeouts(FT_HANDLE handle, std::uint32_t readTimeoutMs,
                         std::uint32_t writeTimeoutMs) {
    Call call("FT_SetTimeouts");
    Bridge* bridge = call.resolve(handle);
    call.line.add("read", readTimeoutMs).add("write", writeTimeoutMs);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    bridge->readTimeoutMs = readTimeoutMs;
    bridge->writeTimeoutMs = writeTimeoutMs;
    return call.finish(FT_OK);
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, std::uint8_t timerMs) {
    Call call("FT_SetLatencyTimer");
    Bridge* bridge = call.resolve(handle);
    call.line.add("ms", timerMs);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (timerMs < kMinLatencyMs) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    bridge->setLatencyTimer(now(), timerMs);
    return call.finish(FT_OK);
}

FT_STATUS FT_ListDevices(void* arg1, void* /*arg2*/, std::uint32_t flags) {
    Call call("FT_ListDevices");
    if (flags != FT_LIST_NUMBER_ONLY) {
        call.line.add("flags", flags);
        return call.finish(FT_NOT_SUPPORTED);
    }
    if (arg1 == nullptr) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    const std::uint32_t count = static_cast<std::uint32_t>(call.rig().presentBridges(now()).size());
    *static_cast<std::uint32_t*>(arg1) = count;
    call.line.add("count", count);
    return call.finish(FT_OK);
}

FT_STATUS FT_EE_Program(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    Call call("FT_EE_Program");
    Bridge* bridge = call.resolve(handle);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (data == nullptr || !eepromRecordHeaderValid(*data)) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    if (bridge->config().eepromProgramFails) {
        return call.finish(FT_EEPROM_WRITE_FAILED);
    }
    copyEepromIn(*data, bridge->eeprom);
    call.rig().saveState();
    return call.finish(FT_OK);
}

FT_STATUS FT_EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    Call call("FT_EE_Read");
    Bridge* bridge = call.resolve(handle);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (data == nullptr || !eepromRecordHeaderValid(*data)) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    if (bridge->config().eepromReadFails) {
        return call.finish(FT_EEPROM_READ_FAILED);
    }
    copyEepromOut(bridge->eeprom, *data, bridge->config().unterminated);
    return call.finish(FT_OK);
}

FT_STATUS FT_GetDeviceInfo(FT_HANDLE handle, FT_DEVICE* type, std::uint32_t* id, char* serialNumber,
                           char* description, void* /*reserved*/) {
    Call call("FT_GetDeviceInfo");
    Bridge* bridge = call.resolve(handle);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    if (type == nullptr || id == nullptr || serialNumber == nullptr || description == nullptr) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    *type = bridge->config().deviceType;
    // The driver knows the bridge by the VID and PID it enumerated with, not by what the
    // EEPROM holds since.
    *id = (static_cast<std::uint32_t>(bridge->enumerated.numbers.VendorId) << 16) |
          bridge->enumerated.numbers.ProductId;
    copyBounded(bridge->enumerated.serialNumber, serialNumber, kInfoSerialSize);
    copyBounded(bridge->enumerated.description, description, kInfoDescriptionSize);
    return call.finish(FT_OK);
}

FT_STATUS FT_CreateDeviceInfoList(std::uint32_t* count) {
    Call call("FT_CreateDeviceInfoList");
    if (!call.rig().scenario().locationsKnown) {
        return call.finish(FT_NOT_SUPPORTED);
    }
    if (count == nullptr) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    const std::vector<int>& list = call.rig().makeInfoList(now());
    *count = static_cast<std::uint32_t>(list.size());
    call.line.add("count", *count);
    return call.finish(FT_OK);
}

FT_STATUS FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                 std::uint32_t* id, std::uint32_t* locationId, void* serialNumber,
                                 void* description, FT_HANDLE* handle) {
    Call call("FT_GetDeviceInfoDetail");
    call.line.add("index", index);
    if (!call.rig().scenario().locationsKnown) {
        return call.finish(FT_NOT_SUPPORTED);
    }
    if (flags == nullptr || type == nullptr || id == nullptr || locationId == nullptr ||
        serialNumber == nullptr || description == nullptr || handle == nullptr) {
        return call.finish(FT_INVALID_PARAMETER);
    }
    const std::optional<std::vector<int>>& list = call.rig().infoList();
    if (!list) {
        return call.finish(kDeviceListNotReady);
    }
    if (index >= list->size()) {
        return call.finish(FT_DEVICE_NOT_FOUND);
    }
    const int number = (*list)[index];
    Bridge& bridge = call.rig().bridge(number);
    // The list as it was made: a bridge that left since is still described, as by FTDI's driver.
    *flags = bridge.isOpen() || bridge.busy(now()) ? kFlagOpened : 0;
    *type = bridge.config().deviceType;
    *id = (static_cast<std::uint32_t>(bridge.enumerated.numbers.VendorId) << 16) |
          bridge.enumerated.numbers.ProductId;
    *locationId = bridgeLocation(bridge.config(), number);
    copyBounded(bridge.enumerated.serialNumber, static_cast<char*>(serialNumber), kInfoSerialSize);
    copyBounded(bridge.enumerated.description, static_cast<char*>(description),
                kInfoDescriptionSize);
    *handle = nullptr;
    call.line.add("location", *locationId);
    return call.finish(FT_OK);
}

FT_STATUS FT_CyclePort(FT_HANDLE handle) {
    Call call("FT_CyclePort");
    Bridge* bridge = call.resolve(handle);
    if (bridge == nullptr) {
        return call.finish(call.status());
    }
    const int index = call.rig().lookup(handle)->bridge;
    bridge->cycle(now(), call.rig().scenario().reenumerateMs);
    call.rig().killHandlesOf(index);
    if (bridge->takeVersionChanged()) {
        call.rig().saveState();
    }
    return call.finish(FT_OK);
}

void resetFromEnvironment() {
    Rig& rig = theRig();
    std::lock_guard<std::mutex> lock(rig.mutex());
    rig.reload();
    rig.changed();
}

} // namespace calls
} // namespace sim
