// Build-time generator: has libftdi1's own encoder build the EEPROM image of each scenario
// preset ("factory", "right") for the first bridges' serial numbers, and writes them out as a
// C++ source for the stand-in. libftdi1 fills in strings only for an open device, so this
// runs against the blank stand-in (LD_LIBRARY_PATH) and opens its one simulated FT232R.
#include "eeprom_image.h"

#include <ftdi.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kBridges = 8;
constexpr int kImageBytes = 128;
constexpr int kLibftdiBufferBytes = 256; // ftdi_get_eeprom_buf wants room for its largest chip

struct Preset {
    const char* name;
    sim::EepromImage (*make)(const std::string&);
};

const Preset kPresets[] = {{"factory", sim::factoryEeprom}, {"right", sim::rightEeprom}};

bool setValues(ftdi_context* ftdi, const pxr7::ftd2xx::FT_PROGRAM_DATA& n) {
    const int invert = (n.InvertTXD ? INVERT_TXD : 0) | (n.InvertRXD ? INVERT_RXD : 0) |
                       (n.InvertRTS ? INVERT_RTS : 0) | (n.InvertCTS ? INVERT_CTS : 0) |
                       (n.InvertDTR ? INVERT_DTR : 0) | (n.InvertDSR ? INVERT_DSR : 0) |
                       (n.InvertDCD ? INVERT_DCD : 0) | (n.InvertRI ? INVERT_RI : 0);
    const struct {
        ftdi_eeprom_value name;
        int value;
    } values[] = {
        {VENDOR_ID, n.VendorId},
        {PRODUCT_ID, n.ProductId},
        {SELF_POWERED, n.SelfPowered},
        {REMOTE_WAKEUP, n.RemoteWakeup},
        {IS_NOT_PNP, n.PnP == 0},
        {MAX_POWER, n.MaxPower},
        {USE_SERIAL, n.SerNumEnableR},
        {SUSPEND_PULL_DOWNS, n.PullDownEnableR},
        {USB_VERSION, n.USBVersion},
        {CHANNEL_A_DRIVER, n.RIsD2XX ? 0 : DRIVER_VCP},
        {HIGH_CURRENT, n.HighDriveIOs ? HIGH_CURRENT_DRIVE_R : 0},
        {EXTERNAL_OSCILLATOR, n.UseExtOsc},
        {INVERT, invert},
        {CBUS_FUNCTION_0, n.Cbus0},
        {CBUS_FUNCTION_1, n.Cbus1},
        {CBUS_FUNCTION_2, n.Cbus2},
        {CBUS_FUNCTION_3, n.Cbus3},
        {CBUS_FUNCTION_4, n.Cbus4},
    };
    for (const auto& v : values) {
        if (ftdi_set_eeprom_value(ftdi, v.name, v.value) != 0) {
            std::fprintf(stderr, "make_ft232r_presets: value %d: %s\n", v.name,
                         ftdi_get_error_string(ftdi));
            return false;
        }
    }
    return true;
}

bool buildImage(const sim::EepromImage& image, unsigned char (&out)[kImageBytes]) {
    ftdi_context* ftdi = ftdi_new();
    if (ftdi == nullptr) {
        return false;
    }
    unsigned char buffer[kLibftdiBufferBytes] = {};
    bool built = ftdi_usb_open(ftdi, 0x0403, 0x6001) == 0 && ftdi->type == TYPE_R;
    // libftdi1 takes the strings as char*, though it only reads them.
    std::string manufacturer = image.manufacturer;
    std::string product = image.description;
    std::string serial = image.serialNumber;
    built = built && ftdi_eeprom_initdefaults(ftdi, &manufacturer[0], &product[0], &serial[0]) == 0;
    built = built && setValues(ftdi, image.numbers) && ftdi_eeprom_build(ftdi) >= 0 &&
            ftdi_get_eeprom_buf(ftdi, buffer, kLibftdiBufferBytes) == 0;
    std::copy(buffer, buffer + kImageBytes, out);
    if (!built) {
        std::fprintf(stderr, "make_ft232r_presets: %s\n", ftdi_get_error_string(ftdi));
    }
    ftdi_usb_close(ftdi);
    ftdi_free(ftdi);
    return built;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_ft232r_presets OUTPUT.cpp\n");
        return 2;
    }
    std::string text = "// Made by make_ft232r_presets with libftdi1's encoder. Do not edit.\n"
                       "#include \"ft232r_presets.h\"\n\n"
                       "namespace sim::usb {\n\nnamespace {\nconst PresetImage kImages[] = {\n";
    for (const Preset& preset : kPresets) {
        for (int bridge = 0; bridge < kBridges; ++bridge) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "PX7A%04d", bridge);
            unsigned char image[kImageBytes];
            if (!buildImage(preset.make(serial), image)) {
                return 1;
            }
            text += std::string("    {\"") + preset.name + "\", \"" + serial + "\", {";
            for (int i = 0; i < kImageBytes; ++i) {
                char byte[16];
                std::snprintf(byte, sizeof byte, "%s0x%02X", i % 16 == 0 ? "\n        " : " ",
                              image[i]);
                text += byte;
                text += i + 1 < kImageBytes ? "," : "";
            }
            text += "}},\n";
        }
    }
    text += "};\n} // namespace\n\n"
            "const PresetImage* presetImages(std::size_t& count) {\n"
            "    count = sizeof kImages / sizeof kImages[0];\n"
            "    return kImages;\n}\n\n} // namespace sim::usb\n";
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "make_ft232r_presets: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
