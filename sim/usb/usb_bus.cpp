#include "usb_bus.h"

#include "ft232r_presets.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace sim::usb {

namespace {

// The EEPROM a bridge starts with: libftdi1's image of a preset when one decodes to exactly
// the bridge's EEPROM, else our own encoding (scenario overrides, state files).
Ft232rEeprom initialEeprom(const EepromImage& wanted) {
    std::size_t count = 0;
    const PresetImage* presets = presetImages(count);
    const std::string wantedText = eepromToText(wanted);
    for (std::size_t i = 0; i < count; ++i) {
        EepromImage decoded = wanted;
        if (decodeEeprom(presets[i].image, decoded) && eepromToText(decoded) == wantedText) {
            return presets[i].image;
        }
    }
    return encodeEeprom(wanted);
}

// Reading the EEPROM needs no claim: the kernel lets any program with the device open read
// it, and a program that only looks at a bridge reads it so.
bool eepromRead(std::uint8_t requestType, std::uint8_t request) {
    constexpr std::uint8_t kVendorIn = LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_ENDPOINT_IN;
    constexpr std::uint8_t kReadEeprom = 0x90;
    return requestType == kVendorIn && request == kReadEeprom;
}

ResetBehaviour resetBehaviourFromEnvironment() {
    const char* value = std::getenv("PXR7_USB_SIM_RESET");
    return value != nullptr && std::strcmp(value, "keep") == 0 ? ResetBehaviour::Keep
                                                               : ResetBehaviour::Reenumerate;
}

} // namespace

UsbBus& theBus() {
    static UsbBus bus;
    return bus;
}

UsbBus::~UsbBus() {
    for (Port& port : ports_) {
        release(port.device);
    }
}

void UsbBus::ensureLoaded() {
    if (!loaded_) {
        load();
    }
}

void UsbBus::reload() {
    theRig().reload();
    load();
}

void UsbBus::load() {
    Rig& rig = theRig();
    rig.ensureLoaded();
    for (Port& port : ports_) {
        release(port.device);
    }
    ports_.clear();
    loaded_ = true;
    ++load_;
    resetBehaviour_ = resetBehaviourFromEnvironment();
    const std::size_t bridges = rig.scenario().bridges.size();
    ports_.resize(bridges);
    for (std::size_t i = 0; i < bridges; ++i) {
        Bridge& bridge = rig.bridge(static_cast<int>(i));
        ports_[i].chip = std::make_unique<Ft232rChip>(bridge, initialEeprom(bridge.eeprom),
                                                      rig.scenario().latencyMs);
        enumerate(i);
    }
}

void UsbBus::enumerate(std::size_t bridge) {
    Port& port = ports_[bridge];
    release(port.device);
    ++port.generation;
    const HeldBy heldBy = port.chip->bridge().config().heldBy;
    port.kernelDriverBound = heldBy == HeldBy::FtdiSio;
    port.otherProgramClaim = heldBy == HeldBy::OtherProgram;
    port.claimedBy = nullptr;
    port.device =
        new libusb_device{static_cast<int>(bridge), load_, port.generation, nextAddress_, 1};
    nextAddress_ = static_cast<std::uint8_t>(nextAddress_ == 127 ? 2 : nextAddress_ + 1);
}

void UsbBus::reference(libusb_device* device) {
    if (device != nullptr) {
        ++device->references;
    }
}

void UsbBus::release(libusb_device* device) {
    if (device != nullptr && --device->references == 0) {
        delete device;
    }
}

bool UsbBus::current(const libusb_device* device) {
    if (device == nullptr || device->load != load_) {
        return false;
    }
    const Port& port = ports_[static_cast<std::size_t>(device->bridge)];
    Bridge& bridge = port.chip->bridge();
    const Micros t = now();
    // A lead pulled mid-transfer takes the whole device off the bus.
    return port.generation == device->generation && bridge.present(t) && !bridge.readsFail(t);
}

std::vector<libusb_device*> UsbBus::presentDevices() {
    std::vector<libusb_device*> devices;
    for (Port& port : ports_) {
        if (current(port.device)) {
            reference(port.device);
            devices.push_back(port.device);
        }
    }
    TraceLine line("libusb_get_device_list");
    line.add("count", static_cast<long long>(devices.size()));
    trace(line, 0);
    return devices;
}

UsbBus::Port* UsbBus::portOf(libusb_device_handle* handle) {
    if (handle == nullptr || !current(handle->device)) {
        return nullptr;
    }
    return &ports_[static_cast<std::size_t>(handle->device->bridge)];
}

DeviceView UsbBus::view(const libusb_device* device) {
    if (device == nullptr || device->load != load_) {
        return viewOf(Ft232rEeprom{});
    }
    return viewOf(ports_[static_cast<std::size_t>(device->bridge)].chip->enumerated());
}

int UsbBus::open(libusb_device* device, libusb_device_handle** handle) {
    TraceLine line("libusb_open");
    int status = LIBUSB_SUCCESS;
    if (!current(device)) {
        line.bridge(-1);
        status = LIBUSB_ERROR_NO_DEVICE;
    } else {
        line.bridge(device->bridge);
        Port& port = ports_[static_cast<std::size_t>(device->bridge)];
        if (port.chip->bridge().config().open == OpenMode::Fail) {
            // What a user without rights on the device node gets.
            status = LIBUSB_ERROR_ACCESS;
        } else {
            auto* opened = new (std::nothrow) libusb_device_handle{device};
            if (opened == nullptr) {
                status = LIBUSB_ERROR_NO_MEM;
            } else {
                reference(device);
                *handle = opened;
            }
        }
    }
    trace(line, status);
    return status;
}

void UsbBus::close(libusb_device_handle* handle) {
    if (handle == nullptr) {
        return;
    }
    TraceLine line("libusb_close");
    line.bridge(handle->device->load == load_ ? handle->device->bridge : -1);
    if (Port* port = portOf(handle); port != nullptr && port->claimedBy == handle) {
        // Closing drops the claim; only a release hands the interface back to the kernel.
        port->claimedBy = nullptr;
        port->chip->close();
    }
    trace(line, 0);
    release(handle->device);
    delete handle;
}

int UsbBus::claim(libusb_device_handle* handle, int interface) {
    TraceLine line("libusb_claim_interface");
    Port* port = portOf(handle);
    line.bridge(port != nullptr ? handle->device->bridge : -1);
    int status = LIBUSB_SUCCESS;
    if (port == nullptr) {
        status = LIBUSB_ERROR_NO_DEVICE;
    } else if (interface != 0) {
        status = LIBUSB_ERROR_NOT_FOUND;
    } else if (port->otherProgramClaim ||
               (port->claimedBy != nullptr && port->claimedBy != handle)) {
        status = LIBUSB_ERROR_BUSY;
    } else if (port->claimedBy == nullptr) {
        if (port->kernelDriverBound && !handle->autoDetach) {
            status = LIBUSB_ERROR_BUSY;
        } else {
            if (port->kernelDriverBound) {
                port->kernelDriverBound = false;
                handle->detachedByClaim = true;
                line.add("detached", 1);
            }
            port->claimedBy = handle;
            port->chip->open(now());
        }
    }
    trace(line, status);
    return status;
}

int UsbBus::releaseInterface(libusb_device_handle* handle, int interface) {
    TraceLine line("libusb_release_interface");
    Port* port = portOf(handle);
    line.bridge(port != nullptr ? handle->device->bridge : -1);
    int status = LIBUSB_SUCCESS;
    if (port == nullptr) {
        status = LIBUSB_ERROR_NO_DEVICE;
    } else if (interface != 0 || port->claimedBy != handle) {
        status = LIBUSB_ERROR_NOT_FOUND;
    } else {
        port->claimedBy = nullptr;
        port->chip->close();
        if (handle->detachedByClaim) {
            handle->detachedByClaim = false;
            port->kernelDriverBound = true;
            line.add("reattached", 1);
        }
    }
    trace(line, status);
    return status;
}

int UsbBus::detachKernelDriver(libusb_device_handle* handle, int interface) {
    TraceLine line("libusb_detach_kernel_driver");
    Port* port = portOf(handle);
    line.bridge(port != nullptr ? handle->device->bridge : -1);
    int status = LIBUSB_SUCCESS;
    if (port == nullptr) {
        status = LIBUSB_ERROR_NO_DEVICE;
    } else if (interface != 0 || !port->kernelDriverBound) {
        status = LIBUSB_ERROR_NOT_FOUND;
    } else {
        port->kernelDriverBound = false;
    }
    trace(line, status);
    return status;
}

int UsbBus::attachKernelDriver(libusb_device_handle* handle, int interface) {
    TraceLine line("libusb_attach_kernel_driver");
    Port* port = portOf(handle);
    line.bridge(port != nullptr ? handle->device->bridge : -1);
    int status = LIBUSB_SUCCESS;
    if (port == nullptr) {
        status = LIBUSB_ERROR_NO_DEVICE;
    } else if (interface != 0) {
        status = LIBUSB_ERROR_NOT_FOUND;
    } else if (port->claimedBy != nullptr || port->otherProgramClaim) {
        status = LIBUSB_ERROR_BUSY;
    } else if (port->kernelDriverBound) {
        status = LIBUSB_ERROR_NOT_FOUND; // libusb's answer when a driver is bound already
    } else {
        port->kernelDriverBound = true;
    }
    trace(line, status);
    return status;
}

int UsbBus::kernelDriverActive(libusb_device_handle* handle, int interface) {
    Port* port = portOf(handle);
    if (port == nullptr) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    return interface == 0 && port->kernelDriverBound ? 1 : 0;
}

int UsbBus::resetDevice(libusb_device_handle* handle) {
    TraceLine line("libusb_reset_device");
    Port* port = portOf(handle);
    line.bridge(port != nullptr ? handle->device->bridge : -1);
    int status = LIBUSB_SUCCESS;
    if (port == nullptr) {
        status = LIBUSB_ERROR_NO_DEVICE;
    } else if (resetBehaviour_ == ResetBehaviour::Reenumerate &&
               port->chip->eepromChangedSinceEnumeration()) {
        // New descriptors: the bridge leaves the bus and comes back as a new device; libusb
        // tells the caller its handle is gone.
        const int bridge = handle->device->bridge;
        port->chip->reloadEeprom();
        port->chip->bridge().cycle(now(), theRig().scenario().reenumerateMs);
        enumerate(static_cast<std::size_t>(bridge));
        theRig().saveState();
        status = LIBUSB_ERROR_NOT_FOUND;
    } else {
        port->chip->resetSerial(now());
    }
    trace(line, status);
    return status;
}

int UsbBus::control(libusb_device_handle* handle, std::uint8_t requestType, std::uint8_t request,
                    std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                    std::uint16_t length) {
    TraceLine line("libusb_control_transfer");
    Port* port = portOf(handle);
    line.bridge(port != nullptr ? handle->device->bridge : -1);
    int status = LIBUSB_ERROR_NO_DEVICE;
    if (port != nullptr && (port->claimedBy == handle || eepromRead(requestType, request))) {
        status = port->chip->control(now(), requestType, request, value, index, data, length, line);
        if (port->chip->takeEepromStored()) {
            theRig().saveState();
        }
    } else if (port != nullptr) {
        // Strict where the kernel is not: the serial side of a bridge another program or
        // ftdi_sio may be using is touched only after a claim.
        Ft232rChip::nameRequest(request, line);
        status = LIBUSB_ERROR_IO;
    }
    trace(line, status < 0 ? status : 0);
    return status;
}

int UsbBus::bulk(libusb_device_handle* handle, std::uint8_t endpoint, std::uint8_t* data,
                 int length, int* transferred, unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex());
    ensureLoaded();
    int status = LIBUSB_ERROR_NO_DEVICE;
    Port* port = portOf(handle);
    if (transferred != nullptr) {
        *transferred = 0;
    }
    if (port == nullptr || port->claimedBy != handle) {
        status = port == nullptr ? LIBUSB_ERROR_NO_DEVICE : LIBUSB_ERROR_IO;
    } else if (data == nullptr || length < 0 || transferred == nullptr) {
        status = LIBUSB_ERROR_INVALID_PARAM;
    } else if (endpoint == kBulkOutEndpoint) {
        TraceLine line("libusb_bulk_transfer");
        line.bridge(handle->device->bridge).add("endpoint", endpoint).add("length", length);
        *transferred = port->chip->bulkOut(now(), data, length);
        line.data(data, static_cast<std::uint32_t>(*transferred));
        trace(line, 0);
        status = LIBUSB_SUCCESS;
    } else if (endpoint == kBulkInEndpoint) {
        status = bulkIn(handle, data, length, timeoutMs, lock);
        if (status >= 0) {
            *transferred = status;
            status = LIBUSB_SUCCESS;
        }
    } else {
        status = LIBUSB_ERROR_PIPE;
    }
    return status;
}

int UsbBus::bulkIn(libusb_device_handle* handle, std::uint8_t* data, int length, unsigned timeoutMs,
                   std::unique_lock<std::mutex>& lock) {
    const Micros deadline = timeoutMs == 0 ? kNever : now() + millis(timeoutMs);
    for (;;) {
        Port* port = portOf(handle);
        if (port == nullptr) {
            TraceLine line("libusb_bulk_transfer");
            line.bridge(handle->device->bridge).add("endpoint", kBulkInEndpoint);
            trace(line, LIBUSB_ERROR_NO_DEVICE);
            return LIBUSB_ERROR_NO_DEVICE;
        }
        const Micros t = now();
        Micros wakeAt = kNever;
        const int got = port->chip->bulkIn(t, data, length, wakeAt);
        if (got > 2) {
            // Status-only packets come every latency period; only data is worth a trace line.
            TraceLine line("libusb_bulk_transfer");
            line.bridge(handle->device->bridge).add("endpoint", kBulkInEndpoint);
            const int packets = (got + kMaxPacket - 1) / kMaxPacket;
            const int payload = got - 2 * packets;
            line.add("length", length).add("got", payload);
            if (packets == 1) {
                line.data(data + 2, static_cast<std::uint32_t>(payload));
            }
            trace(line, 0);
        }
        if (got > 0) {
            return got;
        }
        if (t >= deadline) {
            return LIBUSB_ERROR_TIMEOUT;
        }
        const Micros failAt = port->chip->bridge().nextEvent();
        // Without the lock, and woken early by a call from another thread.
        theRig().waitForChange(lock, std::min({wakeAt, deadline, failAt}));
    }
}

void UsbBus::trace(TraceLine& line, int status) {
    theRig().trace().write(line, static_cast<std::uint32_t>(status < 0 ? -status : status));
}

int UsbBus::path(const libusb_device* device, std::uint8_t& bus,
                 std::uint8_t (&ports)[kMaxPortDepth]) {
    const std::vector<BridgeScenario>& bridges = theRig().scenario().bridges;
    const auto number = static_cast<std::size_t>(device->bridge);
    if (number >= bridges.size()) {
        bus = 0;
        return 0;
    }
    return locationPath(bridgeLocation(bridges[number], device->bridge), bus, ports);
}

} // namespace sim::usb
