// The libftdi backend's device information list: where each bridge sits on the USB bus, as
// D2XX's location id (the bus number in the top byte, then the port path from the root hub,
// one port per nibble from bit 20 down). The list is read afresh at each call.
#include "ftdi_calls.h"
#include "ftdi_errors.h"

#include <ftdi.h>
#include <libusb.h>

#include <cstring>

namespace pxr7::libftdi {

namespace {

constexpr int kVendorFtdi = 0x0403;
constexpr int kProductFt232r = 0x6001;
constexpr int kMaxPortDepth = 6;
constexpr int kMaxNibble = 15;
constexpr std::uint16_t kFt232rRelease = 0x0600;
constexpr FT_DEVICE kDeviceUnknown = 3;

// The location id of device; false where its path does not fit one (a port beyond 15, or
// deeper than six hubs).
bool locationOf(libusb_device* device, std::uint32_t& location) {
    std::uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth < 0 || depth > kMaxPortDepth) {
        return false;
    }
    location = static_cast<std::uint32_t>(libusb_get_bus_number(device)) << 24;
    for (int i = 0; i < depth; ++i) {
        if (ports[i] == 0 || ports[i] > kMaxNibble) {
            return false;
        }
        location |= static_cast<std::uint32_t>(ports[i]) << (20 - 4 * i);
    }
    return true;
}

// The bridges of the list, as FT_Open counts them; count < 0 is libftdi1's failure.
class BridgeList {
public:
    BridgeList() : ftdi_(ftdi_new()) {
        if (ftdi_ != nullptr) {
            count_ = ftdi_usb_find_all(ftdi_, &list_, kVendorFtdi, kProductFt232r);
        }
    }
    ~BridgeList() {
        ftdi_list_free(&list_);
        ftdi_free(ftdi_);
    }
    BridgeList(const BridgeList&) = delete;
    BridgeList& operator=(const BridgeList&) = delete;

    FT_STATUS status() {
        if (ftdi_ == nullptr) {
            return plainFailure("libftdi1 could not start a USB context",
                                FT_INSUFFICIENT_RESOURCES);
        }
        return count_ < 0 ? ftdiFailure(ftdi_, count_, "listing the bridges", FT_OTHER_ERROR)
                          : FT_OK;
    }
    int count() const { return count_; }
    libusb_device* device(std::uint32_t index) const {
        ftdi_device_list* entry = list_;
        for (std::uint32_t i = 0; i < index && entry != nullptr; ++i) {
            entry = entry->next;
        }
        return entry != nullptr ? entry->dev : nullptr;
    }

private:
    ftdi_context* ftdi_;
    ftdi_device_list* list_ = nullptr;
    int count_ = -1;
};

} // namespace

FT_STATUS D2XX_API FT_CreateDeviceInfoList(std::uint32_t* count) {
    if (count == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    BridgeList list;
    if (const FT_STATUS status = list.status(); status != FT_OK) {
        return status;
    }
    *count = static_cast<std::uint32_t>(list.count());
    return FT_OK;
}

// Only the numbers: the strings would need the device opened, so they come back empty.
FT_STATUS D2XX_API FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags,
                                          std::uint32_t* type, std::uint32_t* id,
                                          std::uint32_t* locationId, void* serialNumber,
                                          void* description, FT_HANDLE* handle) {
    if (flags == nullptr || type == nullptr || id == nullptr || locationId == nullptr ||
        serialNumber == nullptr || description == nullptr || handle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    BridgeList list;
    if (const FT_STATUS status = list.status(); status != FT_OK) {
        return status;
    }
    libusb_device* device = list.device(index);
    if (device == nullptr) {
        return plainFailure("no bridge with that index", FT_DEVICE_NOT_FOUND);
    }
    libusb_device_descriptor descriptor{};
    if (const int result = libusb_get_device_descriptor(device, &descriptor); result < 0) {
        return usbFailure(result, "reading the device descriptor", FT_IO_ERROR);
    }
    if (!locationOf(device, *locationId)) {
        return plainFailure("the bridge's USB port path does not fit a location id",
                            FT_NOT_SUPPORTED);
    }
    *flags = 0;
    *type = descriptor.bcdDevice == kFt232rRelease ? FT_DEVICE_232R : kDeviceUnknown;
    *id = static_cast<std::uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
    std::memset(serialNumber, 0, 1);
    std::memset(description, 0, 1);
    *handle = nullptr;
    return FT_OK;
}

} // namespace pxr7::libftdi
