// The simulated USB bus: one FT232R per bridge of the scenario, behind the libusb calls
// libftdi1 makes. Owns the devices (one per enumeration of a bridge), the handles' claims,
// the ftdi_sio kernel driver each interface starts bound to, and bus resets. Every call holds
// the simulator's one lock, except while a bulk IN waits for the chip.
#pragma once

#include "device_view.h"
#include "ft232r_chip.h"
#include "rig.h"
#include "usb_objects.h"

#include <libusb.h>

#include <memory>
#include <mutex>
#include <vector>

namespace sim::usb {

// How a chip takes a bus reset: it re-reads its EEPROM and re-enumerates if that changed
// what it shows (the default), or it keeps what it enumerated with (PXR7_USB_SIM_RESET=keep).
enum class ResetBehaviour { Reenumerate, Keep };

class UsbBus {
public:
    UsbBus() = default;
    UsbBus(const UsbBus&) = delete;
    UsbBus& operator=(const UsbBus&) = delete;
    ~UsbBus();

    // Builds the chips from the scenario the first time, and again after reload().
    void ensureLoaded();
    // Forgets every device and all state and reads the environment again. Devices and handles
    // from before stay valid memory but answer LIBUSB_ERROR_NO_DEVICE.
    void reload();

    std::mutex& mutex() { return theRig().mutex(); }

    // New references to the devices present now, in bus order.
    std::vector<libusb_device*> presentDevices();
    void reference(libusb_device* device);
    void release(libusb_device* device);
    // The device is the one its bridge shows now, and the bridge is on the bus.
    bool current(const libusb_device* device);

    int open(libusb_device* device, libusb_device_handle** handle);
    void close(libusb_device_handle* handle);
    int claim(libusb_device_handle* handle, int interface);
    int releaseInterface(libusb_device_handle* handle, int interface);
    int detachKernelDriver(libusb_device_handle* handle, int interface);
    int attachKernelDriver(libusb_device_handle* handle, int interface);
    int kernelDriverActive(libusb_device_handle* handle, int interface);
    int resetDevice(libusb_device_handle* handle);

    int control(libusb_device_handle* handle, std::uint8_t requestType, std::uint8_t request,
                std::uint16_t value, std::uint16_t index, std::uint8_t* data, std::uint16_t length);
    // Takes the lock itself: a bulk IN lets go of it while the chip has nothing to send.
    int bulk(libusb_device_handle* handle, std::uint8_t endpoint, std::uint8_t* data, int length,
             int* transferred, unsigned timeoutMs);

    DeviceView view(const libusb_device* device);
    // Where the device's bridge sits (its scenario location): the bus number and the port
    // path; returns the path's length.
    int path(const libusb_device* device, std::uint8_t& bus, std::uint8_t (&ports)[kMaxPortDepth]);

private:
    struct Port {
        std::unique_ptr<Ft232rChip> chip;
        libusb_device* device = nullptr; // the bus's own reference
        int generation = 0;
        bool kernelDriverBound = true;
        bool otherProgramClaim = false; // claimed by a program outside the test
        libusb_device_handle* claimedBy = nullptr;
    };

    void load();
    void enumerate(std::size_t bridge);
    Port* portOf(libusb_device_handle* handle);
    int bulkIn(libusb_device_handle* handle, std::uint8_t* data, int length, unsigned timeoutMs,
               std::unique_lock<std::mutex>& lock);
    void trace(TraceLine& line, int status);

    bool loaded_ = false;
    std::uint64_t load_ = 0;
    std::uint8_t nextAddress_ = 2;
    ResetBehaviour resetBehaviour_ = ResetBehaviour::Reenumerate;
    std::vector<Port> ports_;
};

UsbBus& theBus();

} // namespace sim::usb
