// What every bridge backend owes the layers above it, whatever a careless or hostile caller
// does: null, closed, invented and cycled handles and bad arguments fail with the right status
// and never crash or reach a bridge; a silent meter is a short read, a pulled lead an I/O
// error; an EEPROM that refuses a write keeps what it had.
#include "backend_rig.h"
#include "bridge_library.h"
#include "device_port.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace pxr7;
using contract::Backend;
using contract::BackendRig;

namespace {

FT_PROGRAM_DATA g_record;
char g_strings[4][64];

FT_PROGRAM_DATA& validRecord() {
    g_record = FT_PROGRAM_DATA{};
    g_record.Signature2 = 0xFFFFFFFF;
    g_record.Version = 2;
    g_record.Manufacturer = g_strings[0];
    g_record.ManufacturerId = g_strings[1];
    g_record.Description = g_strings[2];
    g_record.SerialNumber = g_strings[3];
    return g_record;
}

using HandleCall = std::pair<std::string, std::function<FT_STATUS(FT_HANDLE)>>;

// Every call that takes a handle, with harmless arguments; FT_Close last.
std::vector<HandleCall> handleCalls() {
    static std::uint8_t buffer[600];
    static std::uint32_t count;
    static FT_DEVICE type;
    static std::uint32_t id;
    static char serial[16];
    static char description[64];
    const D2xxTable& t = d2xx();
    return {
        {"FT_Read", [&t](FT_HANDLE h) { return t.FT_Read(h, buffer, 1, &count); }},
        {"FT_Write", [&t](FT_HANDLE h) { return t.FT_Write(h, buffer, 516, &count); }},
        {"FT_SetBaudRate", [&t](FT_HANDLE h) { return t.FT_SetBaudRate(h, 115200); }},
        {"FT_SetDataCharacteristics",
         [&t](FT_HANDLE h) { return t.FT_SetDataCharacteristics(h, 8, 0, 0); }},
        {"FT_SetFlowControl", [&t](FT_HANDLE h) { return t.FT_SetFlowControl(h, 0, 0, 0); }},
        {"FT_SetDtr", [&t](FT_HANDLE h) { return t.FT_SetDtr(h); }},
        {"FT_ClrDtr", [&t](FT_HANDLE h) { return t.FT_ClrDtr(h); }},
        {"FT_Purge", [&t](FT_HANDLE h) { return t.FT_Purge(h, FT_PURGE_RX); }},
        {"FT_SetTimeouts", [&t](FT_HANDLE h) { return t.FT_SetTimeouts(h, 200, 1000); }},
        {"FT_EE_Program", [&t](FT_HANDLE h) { return t.FT_EE_Program(h, &validRecord()); }},
        {"FT_EE_Read", [&t](FT_HANDLE h) { return t.FT_EE_Read(h, &validRecord()); }},
        {"FT_GetDeviceInfo",
         [&t](FT_HANDLE h) {
             return t.FT_GetDeviceInfo(h, &type, &id, serial, description, nullptr);
         }},
        {"FT_CyclePort", [&t](FT_HANDLE h) { return t.FT_CyclePort(h); }},
        {"FT_SetLatencyTimer", [&t](FT_HANDLE h) { return t.FT_SetLatencyTimer(h, 2); }},
        {"FT_Close", [&t](FT_HANDLE h) { return t.FT_Close(h); }},
    };
}

bool contains(const std::string& text, const char* part) {
    return part == nullptr || text.find(part) != std::string::npos;
}

class BackendContract : public testing::TestWithParam<Backend> {
protected:
    // A new bench with the scenario; false unless d2xx() reaches the backend, with its
    // optional latency timer, which both backends carry.
    bool start(const std::string& scenario) {
        rig_.reset(); // one simulator at a time
        rig_ = GetParam().make(scenario);
        return rig_->ready() && bridgeHasLatencyTimer();
    }
    BackendRig& bench() { return *rig_; }

private:
    std::unique_ptr<BackendRig> rig_;
};

TEST_P(BackendContract, NullClosedAndInventedHandlesAreRefusedAndReachNoBridge) {
    ASSERT_TRUE(start(""));
    FT_HANDLE closed = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &closed), FT_OK);
    ASSERT_EQ(d2xx().FT_Close(closed), FT_OK);
    int local = 0;
    const FT_HANDLE bad[] = {nullptr, closed, reinterpret_cast<FT_HANDLE>(0x1234),
                             static_cast<FT_HANDLE>(&local),
                             reinterpret_cast<FT_HANDLE>(~std::uintptr_t{0})};
    bench().clearTrace();
    int calls = 0;
    for (const FT_HANDLE handle : bad) {
        for (const auto& call : handleCalls()) {
            EXPECT_EQ(call.second(handle), FT_INVALID_HANDLE) << call.first;
            ++calls;
        }
    }
    EXPECT_TRUE(bench().reachedNoBridge(calls));
    // The bridge is still there and usable afterwards.
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);
}

TEST_P(BackendContract, HandleOfACycledBridgeOnlyCloses) {
    ASSERT_TRUE(start("reenumerate_ms = 50\n[bridge 0]\neeprom = factory\n"));
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    ASSERT_EQ(port.ensureBridgeConfig(false), FT_OK);
    ASSERT_EQ(d2xx().FT_EE_Program(port.handle, &port.eeprom), FT_OK);
    ASSERT_EQ(d2xx().FT_CyclePort(port.handle), FT_OK);
    for (const auto& call : handleCalls()) {
        if (call.first != "FT_Close") {
            EXPECT_EQ(call.second(port.handle), FT_IO_ERROR) << call.first;
        }
    }
    EXPECT_EQ(d2xx().FT_Close(port.handle), FT_OK);
    EXPECT_EQ(d2xx().FT_Close(port.handle), FT_INVALID_HANDLE);
}

TEST_P(BackendContract, BadArgumentsAreRefused) {
    ASSERT_TRUE(start("bridges = 2\n[bridge 1]\n"));
    const D2xxTable& t = d2xx();
    FT_HANDLE handle = nullptr;
    std::uint32_t count = 0;
    EXPECT_EQ(t.FT_Open(0, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_Open(2, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(t.FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(t.FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_ListDevices(&count, nullptr, 0x40000000u), FT_NOT_SUPPORTED);
    EXPECT_EQ(t.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(t.FT_Open(1, &handle), FT_OK);
    FT_HANDLE second = nullptr;
    EXPECT_EQ(t.FT_Open(1, &second), FT_DEVICE_NOT_OPENED) << "a bridge opens only once";
    std::uint8_t byte = 0;
    FT_PROGRAM_DATA unsigned_record = validRecord();
    unsigned_record.Signature2 = 0;
    FT_PROGRAM_DATA old_record = validRecord();
    old_record.Version = 1;
    const struct {
        const char* name;
        FT_STATUS got;
        FT_STATUS wanted;
    } cases[] = {
        {"read, no count", t.FT_Read(handle, &byte, 1, nullptr), FT_INVALID_PARAMETER},
        {"read, no buffer", t.FT_Read(handle, nullptr, 1, &count), FT_INVALID_PARAMETER},
        {"write, no buffer", t.FT_Write(handle, nullptr, 10, &count), FT_INVALID_PARAMETER},
        {"write, no count", t.FT_Write(handle, &byte, 1, nullptr), FT_INVALID_PARAMETER},
        {"baud 0", t.FT_SetBaudRate(handle, 0), FT_INVALID_BAUD_RATE},
        {"baud 5 MHz", t.FT_SetBaudRate(handle, 5000000), FT_INVALID_BAUD_RATE},
        {"9 bits", t.FT_SetDataCharacteristics(handle, 9, 0, 0), FT_INVALID_PARAMETER},
        {"flow 0x123", t.FT_SetFlowControl(handle, 0x0123, 0, 0), FT_INVALID_PARAMETER},
        {"purge 0x10", t.FT_Purge(handle, 0x10), FT_INVALID_PARAMETER},
        {"info, nulls", t.FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr),
         FT_INVALID_PARAMETER},
        {"read record, no signature", t.FT_EE_Read(handle, &unsigned_record), FT_INVALID_PARAMETER},
        {"program record, version 1", t.FT_EE_Program(handle, &old_record), FT_INVALID_PARAMETER},
        {"read record, null", t.FT_EE_Read(handle, nullptr), FT_INVALID_PARAMETER},
        {"latency 0", t.FT_SetLatencyTimer(handle, 0), FT_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.wanted) << c.name;
    }
    EXPECT_EQ(t.FT_Close(handle), FT_OK);
}

TEST_P(BackendContract, SilentMeterGivesAShortReadNotAnError) {
    ASSERT_TRUE(start("[bridge 0]\nversion_reply = silent\n"));
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    ASSERT_EQ(port.setTimeouts(50, 1000), FT_OK);
    std::uint8_t reply[16];
    EXPECT_EQ(port.read(reply, sizeof reply), FT_OK);
    EXPECT_EQ(port.bytesRead, 0u);
    bench().clearTrace();
    ASSERT_EQ(d2xx().FT_SetLatencyTimer(port.handle, 2), FT_OK);
    port.close();
    EXPECT_EQ(bench().latencyTimerSettings(), 1);
}

TEST_P(BackendContract, PulledLeadFailsTheReadWithAnIoError) {
    ASSERT_TRUE(start("[bridge 0]\nexpected_records = 4\nreads_fail_from_record = 1\n"));
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 1000000, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    port.assertDtr();
    port.clearDtr();
    port.setTimeouts(2000, 1000);
    std::uint8_t byte = 0;
    ASSERT_EQ(port.read(&byte, 1), FT_OK);
    ASSERT_EQ(byte, '}');
    const std::vector<std::uint8_t> wire(2 * 516, 0); // two zero records sum to zero
    const std::uint8_t brace = '{';
    port.write(&brace, 1);
    port.write(wire.data(), static_cast<std::uint32_t>(wire.size()));
    std::uint8_t requests[8] = {};
    EXPECT_EQ(port.read(requests, sizeof requests), FT_IO_ERROR);
    EXPECT_TRUE(contains(bench().lastError(), GetParam().vanishedHint)) << bench().lastError();
    port.close();
    std::uint32_t count = 99;
    EXPECT_EQ(d2xx().FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, GetParam().pulledLeadLeavesTheList ? 0u : 1u);
}

TEST_P(BackendContract, EepromThatRefusesTheWriteFailsTheProgramAndKeepsItsImage) {
    ASSERT_TRUE(start("[bridge 0]\neeprom = factory\neeprom_program = fail\n"));
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_EEPROM_WRITE_FAILED);
    // A failed program is no correction: nothing to reconnect for.
    EXPECT_EQ(port.configChanged, 0);
    EXPECT_EQ(port.eepromCheck, DevicePort::EepromCheck::ProgramFailed);
    port.close();
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    FT_PROGRAM_DATA& record = validRecord();
    ASSERT_EQ(d2xx().FT_EE_Read(handle, &record), FT_OK);
    EXPECT_STREQ(record.Description, "FT232R USB UART");
    EXPECT_EQ(record.PnP, 1);
    d2xx().FT_Close(handle);
}

TEST_P(BackendContract, UnreadableEepromAndRefusedAccessAreReported) {
    ASSERT_TRUE(start("bridges = 2\n[bridge 0]\neeprom_read = fail\n[bridge 1]\nopen = fail\n"));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(d2xx().FT_EE_Read(handle, &validRecord()), FT_EEPROM_READ_FAILED);
    d2xx().FT_Close(handle);
    FT_HANDLE denied = nullptr;
    EXPECT_EQ(d2xx().FT_Open(1, &denied), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(denied, nullptr);
    EXPECT_TRUE(contains(bench().lastError(), GetParam().refusedAccessHint)) << bench().lastError();
}

std::vector<Backend> everyBackend() {
    std::vector<Backend> backends = {contract::d2xxSimulator()};
#if defined(PXR7_CONTRACT_WITH_LIBFTDI)
    backends.push_back(contract::libftdiOverUsbSimulator());
#endif
    return backends;
}

INSTANTIATE_TEST_SUITE_P(EveryBackend, BackendContract, testing::ValuesIn(everyBackend()),
                         [](const testing::TestParamInfo<Backend>& backend) {
                             return std::string(backend.param.name);
                         });

} // namespace
