// The libftdi backend's device list, open and close, and the serial side: reads, writes, line
// settings, DTR, purges and timeouts.
#include "ftdi_calls.h"
#include "ftdi_errors.h"
#include "ftdi_sessions.h"

#include <ftdi.h>
#include <libusb.h>

#include <chrono>
#include <memory>

namespace pxr7::libftdi {

namespace {

constexpr int kVendorFtdi = 0x0403;
constexpr int kProductFt232r = 0x6001;
constexpr unsigned kFullSpeedPacket = 64; // the FT232R's bulk endpoints

using Clock = std::chrono::steady_clock;

// A context that never touches the kernel driver itself: the sessions detach ftdi_sio only
// for the serial side, and give it back.
ftdi_context* newContext() {
    ftdi_context* ftdi = ftdi_new();
    if (ftdi != nullptr) {
        ftdi->module_detach_mode = DONT_DETACH_SIO_MODULE;
    }
    return ftdi;
}

// The common end of a call that needs an open session and one libftdi call.
FT_STATUS run(FT_HANDLE handle, const char* what, int (*call)(ftdi_context*, int), int argument) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    const int result = call(use.ftdi(), argument);
    return result < 0 ? ftdiFailure(use.ftdi(), result, what, FT_IO_ERROR) : FT_OK;
}

// libftdi1's own guess of the chip from its release number, as ftdi_usb_open_dev makes it.
ftdi_chip_type chipType(const libusb_device_descriptor& descriptor) {
    if (descriptor.bcdDevice == 0x600) {
        return TYPE_R;
    }
    return descriptor.bcdDevice == 0x200 && descriptor.iSerialNumber != 0 ? TYPE_AM : TYPE_BM;
}

// Opens the bridge's USB device and nothing more: no claim, no detach, nothing sent to the
// chip. The serial side is taken over at its first use (ftdi_sessions.h).
FT_STATUS openDevice(Session& session, libusb_device* device) {
    session.bus = libusb_get_bus_number(device);
    session.address = libusb_get_device_address(device);
    if (deviceInSession(session.bus, session.address)) {
        return plainFailure("the bridge is already open in this program", FT_DEVICE_NOT_OPENED);
    }
    libusb_device_descriptor descriptor{};
    if (const int result = libusb_get_device_descriptor(device, &descriptor); result < 0) {
        return usbFailure(result, "reading the device descriptor", FT_DEVICE_NOT_OPENED);
    }
    const int result = libusb_open(device, &session.ftdi->usb_dev);
    if (result < 0) {
        session.ftdi->usb_dev = nullptr;
    }
    if (result == LIBUSB_ERROR_ACCESS) {
        return openFailure(session.index, accessReason(device), FT_DEVICE_NOT_OPENED);
    }
    if (result < 0) {
        const FT_STATUS status = usbFailure(result, "opening the bridge", FT_DEVICE_NOT_OPENED);
        return status == FT_IO_ERROR ? FT_DEVICE_NOT_OPENED : status;
    }
    session.ftdi->type = chipType(descriptor);
    session.ftdi->max_packet_size = kFullSpeedPacket;
    return FT_OK;
}

} // namespace

FT_STATUS D2XX_API FT_ListDevices(void* arg1, void* /*arg2*/, std::uint32_t flags) {
    if (flags != FT_LIST_NUMBER_ONLY) {
        return FT_NOT_SUPPORTED;
    }
    if (arg1 == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    ftdi_context* ftdi = newContext();
    if (ftdi == nullptr) {
        return plainFailure("libftdi1 could not start a USB context", FT_INSUFFICIENT_RESOURCES);
    }
    ftdi_device_list* list = nullptr;
    const int count = ftdi_usb_find_all(ftdi, &list, kVendorFtdi, kProductFt232r);
    ftdi_list_free(&list);
    FT_STATUS status = FT_OK;
    if (count < 0) {
        status = ftdiFailure(ftdi, count, "listing the bridges", FT_OTHER_ERROR);
    } else {
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(count);
    }
    ftdi_free(ftdi);
    return status;
}

FT_STATUS D2XX_API FT_Open(int deviceNumber, FT_HANDLE* handle) {
    if (handle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    if (deviceNumber < 0) {
        return FT_DEVICE_NOT_FOUND;
    }
    auto session = std::make_unique<Session>();
    session->index = deviceNumber;
    session->ftdi = newContext();
    if (session->ftdi == nullptr) {
        return plainFailure("libftdi1 could not start a USB context", FT_INSUFFICIENT_RESOURCES);
    }
    ftdi_device_list* list = nullptr;
    const int count = ftdi_usb_find_all(session->ftdi, &list, kVendorFtdi, kProductFt232r);
    ftdi_device_list* entry = list;
    for (int i = 0; i < deviceNumber && entry != nullptr; ++i) {
        entry = entry->next;
    }
    FT_STATUS status = FT_OK;
    if (count < 0) {
        status = ftdiFailure(session->ftdi, count, "listing the bridges", FT_DEVICE_NOT_FOUND);
    } else if (entry == nullptr) {
        status = plainFailure("no bridge with that index", FT_DEVICE_NOT_FOUND);
    } else {
        status = openDevice(*session, entry->dev);
    }
    ftdi_list_free(&list);
    if (status != FT_OK) {
        // Never opened: nothing to close, only the context to free.
        ftdi_free(session->ftdi);
        session->ftdi = nullptr;
        return status;
    }
    *handle = addSession(std::move(session));
    return FT_OK;
}

FT_STATUS D2XX_API FT_Close(FT_HANDLE handle) {
    // The session, and with it the bridge, closes when its last user lets go.
    return removeSession(handle) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS D2XX_API FT_Read(FT_HANDLE handle, void* buffer, std::uint32_t bytesToRead,
                           std::uint32_t* bytesReturned) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    if (buffer == nullptr || bytesReturned == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *bytesReturned = 0;
    const std::uint32_t timeoutMs = use.session().readTimeoutMs;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto* bytes = static_cast<unsigned char*>(buffer);
    // libftdi1 returns whatever the bridge's next packets held, often nothing: a status-only
    // packet comes every latency period. So keep asking until the count or the time is up.
    while (*bytesReturned < bytesToRead) {
        const std::uint32_t wanted = bytesToRead - *bytesReturned;
        const int chunk = wanted > 0x10000 ? 0x10000 : static_cast<int>(wanted);
        const int got = ftdi_read_data(use.ftdi(), bytes + *bytesReturned, chunk);
        if (got < 0) {
            return ftdiFailure(use.ftdi(), got, "reading from the bridge", FT_IO_ERROR);
        }
        *bytesReturned += static_cast<std::uint32_t>(got);
        if (timeoutMs != 0 && Clock::now() >= deadline) {
            break;
        }
    }
    return FT_OK;
}

FT_STATUS D2XX_API FT_Write(FT_HANDLE handle, void* buffer, std::uint32_t bytesToWrite,
                            std::uint32_t* bytesWritten) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    if ((buffer == nullptr && bytesToWrite > 0) || bytesWritten == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *bytesWritten = 0;
    if (bytesToWrite > 0x7FFFFFFFu) {
        return FT_INVALID_PARAMETER;
    }
    // libusb's timeout is per transfer; 0 waits without limit, as D2XX's 0 does.
    use.ftdi()->usb_write_timeout = static_cast<int>(use.session().writeTimeoutMs);
    const int written = ftdi_write_data(use.ftdi(), static_cast<const unsigned char*>(buffer),
                                        static_cast<int>(bytesToWrite));
    if (written < 0) {
        return ftdiFailure(use.ftdi(), written, "writing to the bridge", FT_IO_ERROR);
    }
    *bytesWritten = static_cast<std::uint32_t>(written);
    return FT_OK;
}

FT_STATUS D2XX_API FT_SetBaudRate(FT_HANDLE handle, std::uint32_t baudRate) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    if (baudRate == 0 || baudRate > 3000000) {
        return FT_INVALID_BAUD_RATE;
    }
    const int result = ftdi_set_baudrate(use.ftdi(), static_cast<int>(baudRate));
    // -1 is libftdi1's "invalid baudrate": a rate the chip cannot make within its tolerance.
    return result == -1 ? plainFailure("the bridge cannot run at that rate", FT_INVALID_BAUD_RATE)
           : result < 0 ? ftdiFailure(use.ftdi(), result, "setting the baud rate", FT_IO_ERROR)
                        : FT_OK;
}

FT_STATUS D2XX_API FT_SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                             std::uint8_t stopBits, std::uint8_t parity) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    if ((wordLength != FT_BITS_7 && wordLength != FT_BITS_8) ||
        (stopBits != FT_STOP_BITS_1 && stopBits != FT_STOP_BITS_2) || parity > 4) {
        return FT_INVALID_PARAMETER;
    }
    const int result = ftdi_set_line_property(use.ftdi(), wordLength == FT_BITS_8 ? BITS_8 : BITS_7,
                                              stopBits == FT_STOP_BITS_1 ? STOP_BIT_1 : STOP_BIT_2,
                                              static_cast<ftdi_parity_type>(parity));
    return result < 0 ? ftdiFailure(use.ftdi(), result, "setting the framing", FT_IO_ERROR) : FT_OK;
}

FT_STATUS D2XX_API FT_SetFlowControl(FT_HANDLE handle, std::uint16_t flowControl,
                                     std::uint8_t xonChar, std::uint8_t xoffChar) {
    switch (flowControl) {
    case FT_FLOW_NONE:
        return run(handle, "setting flow control", ftdi_setflowctrl, SIO_DISABLE_FLOW_CTRL);
    case SIO_RTS_CTS_HS:
    case SIO_DTR_DSR_HS:
        return run(handle, "setting flow control", ftdi_setflowctrl, flowControl);
    case SIO_XON_XOFF_HS: {
        SessionUse use(handle);
        if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
            return status;
        }
        const int result = ftdi_setflowctrl_xonxoff(use.ftdi(), xonChar, xoffChar);
        return result < 0 ? ftdiFailure(use.ftdi(), result, "setting flow control", FT_IO_ERROR)
                          : FT_OK;
    }
    default: {
        const SessionUse use(handle);
        return use.status() != FT_OK ? use.status() : FT_INVALID_PARAMETER;
    }
    }
}

FT_STATUS D2XX_API FT_SetDtr(FT_HANDLE handle) {
    return run(handle, "setting DTR", ftdi_setdtr, 1);
}

FT_STATUS D2XX_API FT_ClrDtr(FT_HANDLE handle) {
    return run(handle, "clearing DTR", ftdi_setdtr, 0);
}

FT_STATUS D2XX_API FT_Purge(FT_HANDLE handle, std::uint32_t mask) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    if ((mask & ~(FT_PURGE_RX | FT_PURGE_TX)) != 0) {
        return FT_INVALID_PARAMETER;
    }
    // tciflush drops what came from the line (with libftdi1's own buffer), tcoflush what is
    // still to go out; the deprecated purge_*_buffer names had these the other way round.
    if ((mask & FT_PURGE_RX) != 0) {
        if (const int result = ftdi_tciflush(use.ftdi()); result < 0) {
            return ftdiFailure(use.ftdi(), result, "purging received data", FT_IO_ERROR);
        }
    }
    if ((mask & FT_PURGE_TX) != 0) {
        if (const int result = ftdi_tcoflush(use.ftdi()); result < 0) {
            return ftdiFailure(use.ftdi(), result, "purging data to send", FT_IO_ERROR);
        }
    }
    return FT_OK;
}

FT_STATUS D2XX_API FT_SetTimeouts(FT_HANDLE handle, std::uint32_t readTimeoutMs,
                                  std::uint32_t writeTimeoutMs) {
    SessionUse use(handle);
    if (use.status() != FT_OK) {
        return use.status();
    }
    use.session().readTimeoutMs = readTimeoutMs;
    use.session().writeTimeoutMs = writeTimeoutMs;
    return FT_OK;
}

FT_STATUS D2XX_API FT_SetLatencyTimer(FT_HANDLE handle, std::uint8_t timerMs) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    if (timerMs == 0) {
        return FT_INVALID_PARAMETER;
    }
    const int result = ftdi_set_latency_timer(use.ftdi(), timerMs);
    return result < 0 ? ftdiFailure(use.ftdi(), result, "setting the latency timer", FT_IO_ERROR)
                      : FT_OK;
}

} // namespace pxr7::libftdi
