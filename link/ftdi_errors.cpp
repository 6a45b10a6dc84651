#include "ftdi_errors.h"

#include <ftdi.h>
#include <libusb.h>

#include <string>

namespace pxr7::libftdi {

namespace {

thread_local std::string t_lastError;

constexpr char kVanished[] = "device vanished";
constexpr char kPermissionHint[] =
    "no permission to use the USB device: install a udev rule giving your user read and write "
    "access to 0403:6001 (e.g. MODE=\"0664\", GROUP=\"plugdev\") and plug the lead in again";
// libftdi's code for "inappropriate permissions on device" from ftdi_usb_open_dev.
constexpr int kFtdiPermissionDenied = -8;

bool mentionsPermission(const char* text) {
    const std::string words = text != nullptr ? text : "";
    return words.find("permission") != std::string::npos ||
           words.find("Access denied") != std::string::npos;
}

} // namespace

bool deviceVanished(ftdi_context* ftdi) {
    if (ftdi == nullptr || ftdi->usb_dev == nullptr) {
        return true;
    }
    int configuration = 0;
    return libusb_get_configuration(ftdi->usb_dev, &configuration) == LIBUSB_ERROR_NO_DEVICE;
}

FT_STATUS ftdiFailure(ftdi_context* ftdi, int code, const char* what, FT_STATUS failure) {
    const char* text = ftdi != nullptr ? ftdi_get_error_string(ftdi) : "";
    if (code == kFtdiPermissionDenied || mentionsPermission(text)) {
        t_lastError = std::string(what) + ": " + kPermissionHint;
    } else if (ftdi != nullptr && ftdi->usb_dev != nullptr && deviceVanished(ftdi)) {
        t_lastError = std::string(what) + ": " + kVanished;
        return FT_IO_ERROR;
    } else {
        t_lastError = std::string(what) + ": " + (text != nullptr ? text : "failed");
    }
    return failure;
}

FT_STATUS usbFailure(int code, const char* what, FT_STATUS failure) {
    if (code == LIBUSB_ERROR_ACCESS) {
        t_lastError = std::string(what) + ": " + kPermissionHint;
    } else if (code == LIBUSB_ERROR_NO_DEVICE) {
        t_lastError = std::string(what) + ": " + kVanished;
        return FT_IO_ERROR;
    } else {
        t_lastError = std::string(what) + ": " + libusb_strerror(code);
    }
    return failure;
}

FT_STATUS plainFailure(const char* text, FT_STATUS failure) {
    t_lastError = text;
    return failure;
}

const char* lastErrorText() {
    return t_lastError.c_str();
}

} // namespace pxr7::libftdi
