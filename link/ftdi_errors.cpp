#include "ftdi_errors.h"

#include <ftdi.h>
#include <libusb.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace pxr7::libftdi {

namespace {

thread_local std::string t_lastError;

constexpr char kVanished[] = "device vanished";
constexpr char kPermissionHint[] =
    "install the udev rule 60-pxr7.rules (it gives the user logged in at the machine's seat "
    "access) or, on a headless or SSH bench, its plugdev line (MODE=\"0660\", "
    "GROUP=\"plugdev\") and add your user to plugdev; then plug the lead in again";
// libftdi's code for "inappropriate permissions on device" from ftdi_usb_open_dev.
constexpr int kFtdiPermissionDenied = -8;

bool mentionsPermission(const char* text) {
    const std::string words = text != nullptr ? text : "";
    return words.find("permission") != std::string::npos ||
           words.find("Access denied") != std::string::npos;
}

std::mutex g_openFailuresLock;
std::map<int, std::string> g_openFailures;
std::string g_latestOpenFailure;

std::string permissionText(const std::string& node) {
    return "no permission on its USB device node" + (node.empty() ? "" : " " + node) + ": " +
           kPermissionHint;
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
        t_lastError = std::string(what) + ": " + permissionText("");
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
        t_lastError = std::string(what) + ": " + permissionText("");
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

std::string accessReason(libusb_device* device) {
    char node[32] = "";
    if (device != nullptr) {
        std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u",
                      static_cast<unsigned>(libusb_get_bus_number(device)),
                      static_cast<unsigned>(libusb_get_device_address(device)));
    }
    return permissionText(node);
}

FT_STATUS openFailure(int index, const std::string& reason, FT_STATUS failure) {
    t_lastError = reason;
    const std::lock_guard<std::mutex> guard(g_openFailuresLock);
    g_openFailures[index] = reason;
    g_latestOpenFailure = reason;
    return failure;
}

void forgetOpenFailure(int index) {
    const std::lock_guard<std::mutex> guard(g_openFailuresLock);
    g_openFailures.erase(index);
}

std::string openFailureText(int index) {
    const std::lock_guard<std::mutex> guard(g_openFailuresLock);
    if (index < 0) {
        return g_latestOpenFailure;
    }
    const auto found = g_openFailures.find(index);
    return found != g_openFailures.end() ? found->second : std::string();
}

const char* lastErrorText() {
    return t_lastError.c_str();
}

} // namespace pxr7::libftdi
