// The libusb-1.0 calls libftdi1 1.5 makes, and the few more the libftdi backend makes itself,
// exported under libusb's own names so the real libftdi1.so.2 binds to them when this library
// is found first on the library path. Asynchronous transfers are not simulated: submitting
// one answers LIBUSB_ERROR_NOT_SUPPORTED, and libftdi1 uses them only for its *_submit calls.
#include "usb_bus.h"

#include <libusb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

using sim::usb::theBus;
using sim::usb::UsbBus;

#define USBSIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The bus, loaded and locked for the length of one call.
class BusCall {
public:
    BusCall() : lock_(theBus().mutex()) { theBus().ensureLoaded(); }
    UsbBus& bus() { return theBus(); }

private:
    std::lock_guard<std::mutex> lock_;
};

} // namespace

USBSIM_EXPORT int libusb_init(libusb_context** context) {
    if (context != nullptr) {
        *context = new (std::nothrow) libusb_context;
        return *context != nullptr ? LIBUSB_SUCCESS : LIBUSB_ERROR_NO_MEM;
    }
    return LIBUSB_SUCCESS;
}

USBSIM_EXPORT void libusb_exit(libusb_context* context) {
    delete context;
}

USBSIM_EXPORT ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
    if (list == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    BusCall call;
    const std::vector<libusb_device*> devices = call.bus().presentDevices();
    auto* out =
        static_cast<libusb_device**>(std::calloc(devices.size() + 1, sizeof(libusb_device*)));
    if (out == nullptr) {
        for (libusb_device* device : devices) {
            call.bus().release(device);
        }
        return LIBUSB_ERROR_NO_MEM;
    }
    std::copy(devices.begin(), devices.end(), out);
    *list = out;
    return static_cast<ssize_t>(devices.size());
}

USBSIM_EXPORT void libusb_free_device_list(libusb_device** list, int unrefDevices) {
    if (list == nullptr) {
        return;
    }
    if (unrefDevices != 0) {
        BusCall call;
        for (libusb_device** device = list; *device != nullptr; ++device) {
            call.bus().release(*device);
        }
    }
    std::free(list);
}

USBSIM_EXPORT libusb_device* libusb_ref_device(libusb_device* device) {
    BusCall call;
    call.bus().reference(device);
    return device;
}

USBSIM_EXPORT void libusb_unref_device(libusb_device* device) {
    BusCall call;
    call.bus().release(device);
}

USBSIM_EXPORT int libusb_get_device_descriptor(libusb_device* device,
                                               libusb_device_descriptor* descriptor) {
    if (device == nullptr || descriptor == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    BusCall call;
    // Cached by libusb at enumeration: still answered for a device that has gone.
    sim::usb::fillDeviceDescriptor(call.bus().view(device), *descriptor);
    return LIBUSB_SUCCESS;
}

USBSIM_EXPORT int libusb_get_config_descriptor(libusb_device* device, uint8_t index,
                                               libusb_config_descriptor** config) {
    if (device == nullptr || config == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    if (index != 0) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    BusCall call;
    *config = sim::usb::newConfigDescriptor(call.bus().view(device));
    return *config != nullptr ? LIBUSB_SUCCESS : LIBUSB_ERROR_NO_MEM;
}

USBSIM_EXPORT void libusb_free_config_descriptor(libusb_config_descriptor* config) {
    if (config != nullptr) {
        sim::usb::freeConfigDescriptor(config);
    }
}

USBSIM_EXPORT uint8_t libusb_get_bus_number(libusb_device* device) {
    std::uint8_t bus = 0;
    std::uint8_t ports[sim::kMaxPortDepth] = {};
    if (device != nullptr) {
        BusCall().bus().path(device, bus, ports);
    }
    return bus;
}

USBSIM_EXPORT uint8_t libusb_get_port_number(libusb_device* device) {
    std::uint8_t bus = 0;
    std::uint8_t ports[sim::kMaxPortDepth] = {};
    const int depth = device != nullptr ? BusCall().bus().path(device, bus, ports) : 0;
    return depth > 0 ? ports[depth - 1] : 0;
}

USBSIM_EXPORT int libusb_get_port_numbers(libusb_device* device, uint8_t* portNumbers, int length) {
    if (device == nullptr || portNumbers == nullptr || length <= 0) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    std::uint8_t bus = 0;
    std::uint8_t ports[sim::kMaxPortDepth] = {};
    const int depth = BusCall().bus().path(device, bus, ports);
    if (depth > length) {
        return LIBUSB_ERROR_OVERFLOW;
    }
    std::copy(ports, ports + depth, portNumbers);
    return depth;
}

USBSIM_EXPORT uint8_t libusb_get_device_address(libusb_device* device) {
    return device != nullptr ? device->address : 0;
}

USBSIM_EXPORT int libusb_open(libusb_device* device, libusb_device_handle** handle) {
    if (handle == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    BusCall call;
    return call.bus().open(device, handle);
}

USBSIM_EXPORT void libusb_close(libusb_device_handle* handle) {
    BusCall call;
    call.bus().close(handle);
}

USBSIM_EXPORT libusb_device* libusb_get_device(libusb_device_handle* handle) {
    return handle != nullptr ? handle->device : nullptr;
}

USBSIM_EXPORT int libusb_get_configuration(libusb_device_handle* handle, int* config) {
    if (handle == nullptr || config == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    BusCall call;
    if (!call.bus().current(handle->device)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    *config = 1;
    return LIBUSB_SUCCESS;
}

USBSIM_EXPORT int libusb_set_configuration(libusb_device_handle* handle, int config) {
    BusCall call;
    if (handle == nullptr || !call.bus().current(handle->device)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    return config == 1 || config == -1 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

USBSIM_EXPORT int libusb_claim_interface(libusb_device_handle* handle, int interface) {
    BusCall call;
    return call.bus().claim(handle, interface);
}

USBSIM_EXPORT int libusb_release_interface(libusb_device_handle* handle, int interface) {
    BusCall call;
    return call.bus().releaseInterface(handle, interface);
}

USBSIM_EXPORT int libusb_kernel_driver_active(libusb_device_handle* handle, int interface) {
    BusCall call;
    return call.bus().kernelDriverActive(handle, interface);
}

USBSIM_EXPORT int libusb_detach_kernel_driver(libusb_device_handle* handle, int interface) {
    BusCall call;
    return call.bus().detachKernelDriver(handle, interface);
}

USBSIM_EXPORT int libusb_attach_kernel_driver(libusb_device_handle* handle, int interface) {
    BusCall call;
    return call.bus().attachKernelDriver(handle, interface);
}

USBSIM_EXPORT int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    if (handle == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    BusCall call;
    handle->autoDetach = enable != 0;
    return LIBUSB_SUCCESS;
}

USBSIM_EXPORT int libusb_reset_device(libusb_device_handle* handle) {
    BusCall call;
    return call.bus().resetDevice(handle);
}

USBSIM_EXPORT int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                     unsigned char* data, int length) {
    if (handle == nullptr || data == nullptr || length <= 0) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    BusCall call;
    if (!call.bus().current(handle->device)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    std::string text;
    if (!sim::usb::stringOf(call.bus().view(handle->device), index, text)) {
        return LIBUSB_ERROR_PIPE; // the device stalls a request for a string it lacks
    }
    const std::size_t kept = text.size() < static_cast<std::size_t>(length) - 1
                                 ? text.size()
                                 : static_cast<std::size_t>(length) - 1;
    std::memcpy(data, text.data(), kept);
    data[kept] = 0;
    return static_cast<int>(kept);
}

USBSIM_EXPORT int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType,
                                          uint8_t request, uint16_t value, uint16_t index,
                                          unsigned char* data, uint16_t length,
                                          unsigned int /*timeoutMs*/) {
    BusCall call;
    return call.bus().control(handle, requestType, request, value, index, data, length);
}

USBSIM_EXPORT int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                       unsigned char* data, int length, int* transferred,
                                       unsigned int timeoutMs) {
    return theBus().bulk(handle, endpoint, data, length, transferred, timeoutMs);
}

USBSIM_EXPORT libusb_transfer* libusb_alloc_transfer(int isoPackets) {
    if (isoPackets < 0) {
        return nullptr;
    }
    const std::size_t size =
        sizeof(libusb_transfer) + sizeof(libusb_iso_packet_descriptor) * isoPackets;
    return static_cast<libusb_transfer*>(std::calloc(1, size));
}

USBSIM_EXPORT void libusb_free_transfer(libusb_transfer* transfer) {
    std::free(transfer);
}

USBSIM_EXPORT int libusb_submit_transfer(libusb_transfer*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

USBSIM_EXPORT int libusb_cancel_transfer(libusb_transfer*) {
    return LIBUSB_ERROR_NOT_FOUND;
}

USBSIM_EXPORT int libusb_handle_events_timeout(libusb_context*, timeval*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

USBSIM_EXPORT int libusb_handle_events_timeout_completed(libusb_context*, timeval*, int*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

USBSIM_EXPORT const char* libusb_error_name(int code) {
    switch (code) {
    case LIBUSB_SUCCESS:
        return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW:
        return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE:
        return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED:
        return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM:
        return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "LIBUSB_ERROR_NOT_SUPPORTED";
    default:
        return "LIBUSB_ERROR_OTHER";
    }
}

USBSIM_EXPORT const char* libusb_strerror(int code) {
    switch (code) {
    case LIBUSB_SUCCESS:
        return "Success";
    case LIBUSB_ERROR_IO:
        return "Input/Output Error";
    case LIBUSB_ERROR_ACCESS:
        return "Access denied (insufficient permissions)";
    case LIBUSB_ERROR_NO_DEVICE:
        return "No such device (it may have been disconnected)";
    case LIBUSB_ERROR_NOT_FOUND:
        return "Entity not found";
    case LIBUSB_ERROR_BUSY:
        return "Resource busy";
    case LIBUSB_ERROR_TIMEOUT:
        return "Operation timed out";
    case LIBUSB_ERROR_PIPE:
        return "Pipe error";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "Operation not supported or unimplemented on this platform";
    default:
        return libusb_error_name(code);
    }
}

// Not part of libusb: lets a test in one process run several scenarios one after the other.
USBSIM_EXPORT void pxr7usbsim_reset(void) {
    std::lock_guard<std::mutex> lock(theBus().mutex());
    theBus().reload();
}
