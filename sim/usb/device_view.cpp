#include "device_view.h"

#include "ft232r_chip.h"

#include <cstdlib>
#include <new>

namespace sim::usb {

namespace {

constexpr std::uint8_t kManufacturerIndex = 1;
constexpr std::uint8_t kProductIndex = 2;
constexpr std::uint8_t kSerialIndex = 3;

// One block: the configuration, its interface, the altsetting and the two endpoints.
struct ConfigBlock {
    libusb_config_descriptor config;
    libusb_interface interface;
    libusb_interface_descriptor altsetting;
    libusb_endpoint_descriptor endpoints[2];
};

libusb_endpoint_descriptor bulkEndpoint(std::uint8_t address) {
    libusb_endpoint_descriptor endpoint{};
    endpoint.bLength = LIBUSB_DT_ENDPOINT_SIZE;
    endpoint.bDescriptorType = LIBUSB_DT_ENDPOINT;
    endpoint.bEndpointAddress = address;
    endpoint.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    endpoint.wMaxPacketSize = kMaxPacket;
    return endpoint;
}

} // namespace

DeviceView viewOf(const Ft232rEeprom& enumerated) {
    EepromImage image = factoryEeprom("");
    image.description = "FT232R USB UART";
    const bool valid = decodeEeprom(enumerated, image);
    const FT_PROGRAM_DATA& n = image.numbers;
    DeviceView view;
    view.vendorId = valid ? n.VendorId : 0x0403;
    view.productId = valid ? n.ProductId : 0x6001;
    view.usbVersion = valid && n.USBVersion != 0 ? n.USBVersion : 0x0200;
    view.attributes = static_cast<std::uint8_t>(0x80 | (n.SelfPowered != 0 ? 0x40 : 0) |
                                                (n.RemoteWakeup != 0 ? 0x20 : 0));
    view.maxPower = static_cast<std::uint8_t>(n.MaxPower / 2);
    view.manufacturer = image.manufacturer;
    view.product = image.description;
    view.serial = valid && n.SerNumEnableR != 0 ? image.serialNumber : std::string();
    return view;
}

void fillDeviceDescriptor(const DeviceView& view, libusb_device_descriptor& out) {
    out = libusb_device_descriptor{};
    out.bLength = LIBUSB_DT_DEVICE_SIZE;
    out.bDescriptorType = LIBUSB_DT_DEVICE;
    out.bcdUSB = view.usbVersion;
    out.bMaxPacketSize0 = 8;
    out.idVendor = view.vendorId;
    out.idProduct = view.productId;
    out.bcdDevice = kReleaseNumber232R;
    out.iManufacturer = kManufacturerIndex;
    out.iProduct = kProductIndex;
    out.iSerialNumber = view.serial.empty() ? 0 : kSerialIndex;
    out.bNumConfigurations = 1;
}

libusb_config_descriptor* newConfigDescriptor(const DeviceView& view) {
    auto* block = static_cast<ConfigBlock*>(std::calloc(1, sizeof(ConfigBlock)));
    if (block == nullptr) {
        return nullptr;
    }
    block->endpoints[0] = bulkEndpoint(kBulkInEndpoint);
    block->endpoints[1] = bulkEndpoint(kBulkOutEndpoint);
    libusb_interface_descriptor& alt = block->altsetting;
    alt.bLength = LIBUSB_DT_INTERFACE_SIZE;
    alt.bDescriptorType = LIBUSB_DT_INTERFACE;
    alt.bNumEndpoints = 2;
    alt.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    alt.bInterfaceSubClass = 0xFF;
    alt.bInterfaceProtocol = 0xFF;
    alt.iInterface = kProductIndex;
    alt.endpoint = block->endpoints;
    block->interface.altsetting = &block->altsetting;
    block->interface.num_altsetting = 1;
    libusb_config_descriptor& config = block->config;
    config.bLength = LIBUSB_DT_CONFIG_SIZE;
    config.bDescriptorType = LIBUSB_DT_CONFIG;
    config.wTotalLength =
        LIBUSB_DT_CONFIG_SIZE + LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE;
    config.bNumInterfaces = 1;
    config.bConfigurationValue = 1;
    config.bmAttributes = view.attributes;
    config.MaxPower = view.maxPower;
    config.interface = &block->interface;
    return &block->config;
}

void freeConfigDescriptor(libusb_config_descriptor* config) {
    // The configuration is the block's first member.
    std::free(reinterpret_cast<ConfigBlock*>(config));
}

bool stringOf(const DeviceView& view, std::uint8_t index, std::string& text) {
    switch (index) {
    case kManufacturerIndex:
        text = view.manufacturer;
        return true;
    case kProductIndex:
        text = view.product;
        return true;
    case kSerialIndex:
        text = view.serial;
        return !view.serial.empty();
    default:
        return false;
    }
}

} // namespace sim::usb
