// The libftdi backend's calls on the bridge itself: its identity, its EEPROM and a port cycle.
// Identity and EEPROM reads leave the kernel driver on the bridge; a write and a cycle take
// the interface over first.
#include "ftdi_calls.h"
#include "ftdi_eeprom_record.h"
#include "ftdi_errors.h"
#include "ftdi_sessions.h"

#include <ftdi.h>
#include <libusb.h>

#include <cstring>

namespace pxr7::libftdi {

namespace {

constexpr int kInfoSerialSize = 16;
constexpr int kInfoDescriptionSize = 64;
constexpr int kRawSize = 256; // ftdi_get_eeprom_buf's largest chip
constexpr FT_DEVICE kDeviceUnknown = 3;

// A string descriptor of the open device into a buffer of size, cut and zero-terminated; an
// absent string (index 0) or a failed read leaves it empty.
int readString(libusb_device_handle* usb, std::uint8_t index, char* out, int size) {
    out[0] = '\0';
    if (index == 0) {
        return 0;
    }
    unsigned char text[256] = {};
    const int length = libusb_get_string_descriptor_ascii(usb, index, text, sizeof text - 1);
    if (length < 0) {
        return length;
    }
    const int kept = length < size - 1 ? length : size - 1;
    std::memcpy(out, text, static_cast<std::size_t>(kept));
    out[kept] = '\0';
    return 0;
}

// Reads and decodes the EEPROM into libftdi1's context; false (with the error kept) if the
// read fails or the image does not check out.
bool readEeprom(ftdi_context* ftdi, FT_STATUS& status) {
    if (const int result = ftdi_read_eeprom(ftdi); result < 0) {
        status = ftdiFailure(ftdi, result, "reading the EEPROM", FT_EEPROM_READ_FAILED);
        return false;
    }
    if (const int result = ftdi_eeprom_decode(ftdi, 0); result < 0) {
        status = ftdiFailure(ftdi, result, "decoding the EEPROM", FT_EEPROM_READ_FAILED);
        return false;
    }
    return true;
}

} // namespace

FT_STATUS D2XX_API FT_GetDeviceInfo(FT_HANDLE handle, FT_DEVICE* type, std::uint32_t* id,
                                    char* serialNumber, char* description, void* /*reserved*/) {
    SessionUse use(handle);
    if (use.status() != FT_OK) {
        return use.status();
    }
    if (type == nullptr || id == nullptr || serialNumber == nullptr || description == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    libusb_device_handle* usb = use.ftdi()->usb_dev;
    libusb_device_descriptor descriptor{};
    if (const int result = libusb_get_device_descriptor(libusb_get_device(usb), &descriptor);
        result < 0) {
        return usbFailure(result, "reading the device descriptor", FT_IO_ERROR);
    }
    // libftdi1 numbers chips its own way (TYPE_R is 3); D2XX calls the FT232R 5.
    *type = use.ftdi()->type == TYPE_R ? FT_DEVICE_232R : kDeviceUnknown;
    *id = static_cast<std::uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
    if (const int result = readString(usb, descriptor.iSerialNumber, serialNumber, kInfoSerialSize);
        result < 0) {
        return usbFailure(result, "reading the serial number", FT_IO_ERROR);
    }
    if (const int result = readString(usb, descriptor.iProduct, description, kInfoDescriptionSize);
        result < 0) {
        return usbFailure(result, "reading the description", FT_IO_ERROR);
    }
    return FT_OK;
}

FT_STATUS D2XX_API FT_EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    SessionUse use(handle);
    if (use.status() != FT_OK) {
        return use.status();
    }
    if (data == nullptr || !recordHeaderValid(*data)) {
        return FT_INVALID_PARAMETER;
    }
    FT_STATUS status = FT_OK;
    if (!readEeprom(use.ftdi(), status)) {
        return status;
    }
    if (!recordFromEeprom(use.ftdi(), *data)) {
        return ftdiFailure(use.ftdi(), -1, "reading the EEPROM values", FT_EEPROM_READ_FAILED);
    }
    return FT_OK;
}

FT_STATUS D2XX_API FT_EE_Program(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    if (data == nullptr || !recordHeaderValid(*data)) {
        return FT_INVALID_PARAMETER;
    }
    ftdi_context* ftdi = use.ftdi();
    // Start from what the chip holds, so whatever the record has no field for stays.
    FT_STATUS status = FT_OK;
    if (!readEeprom(ftdi, status)) {
        return status;
    }
    if (!eepromFromRecord(ftdi, *data)) {
        return ftdiFailure(ftdi, -1, "setting the EEPROM values", FT_EEPROM_WRITE_FAILED);
    }
    // Building must come last: any later value change makes libftdi1 refuse the write.
    if (const int size = ftdi_eeprom_build(ftdi); size < 0) {
        return ftdiFailure(ftdi, size, "building the EEPROM image", FT_EEPROM_WRITE_FAILED);
    }
    unsigned char built[kRawSize] = {};
    unsigned char readBack[kRawSize] = {};
    ftdi_get_eeprom_buf(ftdi, built, kRawSize);
    use.session().eepromWritten = true;
    if (const int result = ftdi_write_eeprom(ftdi); result < 0) {
        return ftdiFailure(ftdi, result, "writing the EEPROM", FT_EEPROM_WRITE_FAILED);
    }
    // Like FTDI's library: read it back and compare, so a write the chip dropped is a failure.
    if (const int result = ftdi_read_eeprom(ftdi); result < 0) {
        return ftdiFailure(ftdi, result, "reading the EEPROM back", FT_EEPROM_WRITE_FAILED);
    }
    ftdi_get_eeprom_buf(ftdi, readBack, kRawSize);
    int size = 0;
    ftdi_get_eeprom_value(ftdi, CHIP_SIZE, &size);
    if (size <= 0 || size > kRawSize ||
        std::memcmp(built, readBack, static_cast<std::size_t>(size)) != 0) {
        return plainFailure("the EEPROM did not keep what was written", FT_EEPROM_WRITE_FAILED);
    }
    return FT_OK;
}

FT_STATUS D2XX_API FT_CyclePort(FT_HANDLE handle) {
    SessionUse use(handle);
    if (const FT_STATUS status = use.serialStatus(); status != FT_OK) {
        return status;
    }
    // A USB port reset, not ftdi_usb_reset (that only resets the chip's serial side).
    const int result = libusb_reset_device(use.ftdi()->usb_dev);
    if (result == LIBUSB_ERROR_NOT_FOUND) {
        // The bridge came back with new descriptors as a new device: this handle is done.
        use.session().reenumerated = true;
        return FT_OK;
    }
    if (result < 0) {
        return usbFailure(result, "cycling the port", FT_OTHER_ERROR);
    }
    if (use.session().eepromWritten) {
        // Still the same device: the chip did not take up its new EEPROM, only a replug will.
        return plainFailure("the bridge did not re-enumerate: unplug it and plug it in again",
                            FT_OTHER_ERROR);
    }
    return FT_OK;
}

} // namespace pxr7::libftdi
