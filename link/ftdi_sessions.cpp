#include "ftdi_sessions.h"

#include "ftdi_errors.h"

#include <ftdi.h>
#include <libusb.h>

namespace pxr7::libftdi {

namespace {

// Far from any address the allocator hands out, so a token is never mistaken for memory.
constexpr std::uintptr_t kFirstToken = 0x7D1F0010u;
constexpr std::uintptr_t kTokenStep = 0x10;

std::mutex g_tableLock;
std::uintptr_t g_nextToken = kFirstToken;
std::map<std::uintptr_t, std::shared_ptr<Session>> g_sessions;

constexpr int kInterface = 0;
constexpr char kOtherProgram[] =
    "another program is using it (a terminal program, another pxr7): close that program";

// The interface is claimed: what ftdi_usb_open_dev does after its claim, a reset of the chip's
// serial side (which also empties libftdi1's read buffer).
FT_STATUS startSerialSide(Session& session) {
    if (const int result = ftdi_usb_reset(session.ftdi); result < 0) {
        return ftdiFailure(session.ftdi, result, "resetting the bridge", FT_IO_ERROR);
    }
    forgetOpenFailure(session.index);
    return FT_OK;
}

// Takes ftdi_sio off the interface if it holds it.
FT_STATUS detachKernelDriver(Session& session) {
    libusb_device_handle* usb = session.ftdi->usb_dev;
    if (libusb_kernel_driver_active(usb, kInterface) != 1) {
        return FT_OK;
    }
    const int result = libusb_detach_kernel_driver(usb, kInterface);
    if (result == LIBUSB_ERROR_ACCESS) {
        return openFailure(session.index, accessReason(libusb_get_device(usb)),
                           FT_DEVICE_NOT_OPENED);
    }
    if (result < 0 && result != LIBUSB_ERROR_NOT_FOUND) {
        return openFailure(session.index,
                           std::string("the kernel's serial driver ftdi_sio holds it and would "
                                       "not let go (") +
                               libusb_strerror(result) + "): unplug the lead and plug it in again",
                           FT_DEVICE_NOT_OPENED);
    }
    session.detached = result == 0;
    return FT_OK;
}

FT_STATUS claimSerialSide(Session& session) {
    if (const FT_STATUS status = detachKernelDriver(session); status != FT_OK) {
        return status;
    }
    const int result = libusb_claim_interface(session.ftdi->usb_dev, kInterface);
    if (result == 0) {
        session.claimed = true;
        return startSerialSide(session);
    }
    if (session.detached) {
        libusb_attach_kernel_driver(session.ftdi->usb_dev, kInterface);
        session.detached = false;
    }
    if (result == LIBUSB_ERROR_NO_DEVICE) {
        return usbFailure(result, "taking over the bridge", FT_IO_ERROR);
    }
    return openFailure(session.index,
                       result == LIBUSB_ERROR_BUSY
                           ? std::string(kOtherProgram)
                           : std::string("its interface could not be claimed (") +
                                 libusb_strerror(result) + ")",
                       FT_DEVICE_NOT_OPENED);
}

} // namespace

Session::~Session() {
    if (ftdi == nullptr) {
        return;
    }
    if (ftdi->usb_dev != nullptr && claimed) {
        libusb_release_interface(ftdi->usb_dev, kInterface);
    }
    if (ftdi->usb_dev != nullptr && detached) {
        // Only what this session took away goes back: the user's serial port returns.
        libusb_attach_kernel_driver(ftdi->usb_dev, kInterface);
    }
    ftdi_free(ftdi); // closes the USB device
}

bool deviceInSession(std::uint8_t bus, std::uint8_t address) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    for (const auto& entry : g_sessions) {
        if (entry.second->bus == bus && entry.second->address == address) {
            return true;
        }
    }
    return false;
}

FT_HANDLE addSession(std::unique_ptr<Session> session) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    const std::uintptr_t token = g_nextToken;
    g_nextToken += kTokenStep;
    g_sessions[token] = std::shared_ptr<Session>(std::move(session));
    return reinterpret_cast<FT_HANDLE>(token);
}

std::shared_ptr<Session> findSession(FT_HANDLE handle) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    const auto found = g_sessions.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == g_sessions.end() ? nullptr : found->second;
}

std::shared_ptr<Session> removeSession(FT_HANDLE handle) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    const auto found = g_sessions.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == g_sessions.end()) {
        return nullptr;
    }
    std::shared_ptr<Session> session = found->second;
    g_sessions.erase(found);
    return session;
}

SessionUse::SessionUse(FT_HANDLE handle) : session_(findSession(handle)) {
    if (session_ != nullptr) {
        lock_ = std::unique_lock<std::mutex>(session_->lock);
    }
}

FT_STATUS SessionUse::status() const {
    if (session_ == nullptr) {
        return FT_INVALID_HANDLE;
    }
    return session_->reenumerated ? FT_IO_ERROR : FT_OK;
}

FT_STATUS SessionUse::serialStatus() {
    const FT_STATUS status = this->status();
    if (status != FT_OK || session_->claimed) {
        return status;
    }
    return claimSerialSide(*session_);
}

} // namespace pxr7::libftdi
