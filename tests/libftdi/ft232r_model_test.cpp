// The simulated FT232R's own model, checked against libftdi1 where it can be: its EEPROM
// layout must give exactly the images libftdi1's encoder built for the presets, and the
// vendor-request values must decode as the chip would.
#include "eeprom_image.h"
#include "ft232r_eeprom.h"
#include "ft232r_presets.h"
#include "sio_values.h"

#include <gtest/gtest.h>

#include <string>

using namespace sim::usb;

TEST(Ft232rModel, OurEncodingIsLibftdisImageOfEveryPreset) {
    std::size_t count = 0;
    const PresetImage* presets = presetImages(count);
    ASSERT_EQ(count, 16u);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string preset = presets[i].preset;
        const sim::EepromImage image = preset == "factory" ? sim::factoryEeprom(presets[i].serial)
                                                           : sim::rightEeprom(presets[i].serial);
        EXPECT_EQ(encodeEeprom(image), presets[i].image) << preset << " " << presets[i].serial;
        sim::EepromImage decoded = sim::rightEeprom("");
        ASSERT_TRUE(decodeEeprom(presets[i].image, decoded));
        decoded.manufacturerId = image.manufacturerId; // the chip has no place for it
        EXPECT_EQ(sim::eepromToText(decoded), sim::eepromToText(image));
    }
}

TEST(Ft232rModel, DamagedImagesDoNotDecode) {
    const Ft232rEeprom good = encodeEeprom(sim::rightEeprom("PX7A0000"));
    Ft232rEeprom flipped = good;
    flipped[0x30] ^= 0x01;
    Ft232rEeprom outside = good;
    outside[0x12] = 0xFE; // serial string at 0x7E, past the end
    setEepromWord(outside, kEepromWords - 1, eepromChecksum(outside));
    for (const Ft232rEeprom& bad : {flipped, outside, Ft232rEeprom{}}) {
        sim::EepromImage image = sim::factoryEeprom("X");
        EXPECT_FALSE(decodeEeprom(bad, image));
        EXPECT_EQ(image.description, "FT232R USB UART") << "a failed decode changed the image";
    }
}

TEST(Ft232rModel, LongStringsAreCutToTheStringAreaSerialFirst) {
    sim::EepromImage image = sim::rightEeprom(std::string(15, 'S'));
    image.description = std::string(63, 'D');
    image.manufacturer = "FTDI";
    sim::EepromImage decoded = image;
    ASSERT_TRUE(decodeEeprom(encodeEeprom(image), decoded));
    EXPECT_EQ(decoded.manufacturer, "FTDI");
    EXPECT_EQ(decoded.description, std::string(42, 'D'));
    EXPECT_EQ(decoded.serialNumber, "");
}

TEST(Ft232rModel, BaudDivisorsDecodeToTheChipsRates) {
    const struct {
        std::uint16_t value, index;
        std::uint32_t actual, nominal;
    } cases[] = {
        {0x0000, 0, 3000000, 3000000}, // special: divisor 0
        {0x0001, 0, 2000000, 2000000}, // special: divisor 1
        {0x0003, 0, 1000000, 1000000},
        {0x001A, 0, 115385, 115200},   // 26: within 0.2 % of 115200
        {0x4138, 0, 9600, 9600},       // 312.5: code 1 is +0.5
        {0xC001, 0, 0, 0},             // 1.125: below the smallest fractional divisor
        {0x0002, 1, 1263158, 1263158}, // 2.375: code 4, its top bit in index; nothing near
        {0x8027, 0, 76433, 76433},     // 39.25 (code 2)
    };
    for (const auto& c : cases) {
        EXPECT_EQ(baudFromDivisor(c.value, c.index), c.actual) << std::hex << c.value;
        if (c.actual != 0) {
            EXPECT_EQ(nominalBaud(c.actual), c.nominal) << c.actual;
        }
    }
}

TEST(Ft232rModel, DataAndModemControlValues) {
    DataCharacteristics data{};
    ASSERT_TRUE(decodeDataCharacteristics(0x0008, data)); // 8N1
    EXPECT_EQ(data.wordLength, 8);
    EXPECT_EQ(data.stopBits, 0);
    EXPECT_EQ(data.parity, 0);
    ASSERT_TRUE(decodeDataCharacteristics(0x1207, data)); // 7E2
    EXPECT_EQ(data.wordLength, 7);
    EXPECT_EQ(data.stopBits, 2);
    EXPECT_EQ(data.parity, 2);
    EXPECT_FALSE(decodeDataCharacteristics(0x0009, data));
    EXPECT_FALSE(decodeDataCharacteristics(0x0508, data));
    EXPECT_EQ(dtrFromModemControl(0x0101), 1);
    EXPECT_EQ(dtrFromModemControl(0x0100), 0);
    EXPECT_EQ(dtrFromModemControl(0x0202), -1); // RTS only
}
