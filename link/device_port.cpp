#include "device_port.h"

#include "bridge_library.h"
#include "eeprom_rules.h"

#include <cstring>

namespace pxr7 {

DevicePort::DevicePort()
    : index(-1), handle(nullptr), lastStatus(FT_OK), bytesWritten(0), bytesRead(0), baudRate(0),
      wordLength(0), stopBits(0), parity(0), readTimeout(0), writeTimeout(1000), eeprom{},
      expectedVendorId(0x0403),
      expectedProductId(0x6001), manufacturer{}, manufacturerId{}, description{}, serialNumber{},
      configChanged(0) {}

FT_STATUS DevicePort::open(int deviceIndex) {
    if (handle != nullptr) {
        close();
    }
    lastStatus = d2xx().FT_Open(deviceIndex, &handle);
    if (lastStatus == FT_OK && handle == nullptr) {
        lastStatus = FT_INVALID_HANDLE;
    }
    if (lastStatus == FT_OK) {
        index = deviceIndex;
    } else {
        handle = nullptr;
    }
    return lastStatus;
}

FT_STATUS DevicePort::close() {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_Close(handle);
    handle = nullptr;
    index = -1;
    return lastStatus;
}

FT_STATUS DevicePort::write(const void* buffer, std::uint32_t length) {
    if (handle == nullptr) {
        return FT_OK;
    }
    // D2XX takes a non-const buffer but only reads it.
    lastStatus = d2xx().FT_Write(handle, const_cast<void*>(buffer), length, &bytesWritten);
    return lastStatus;
}

FT_STATUS DevicePort::read(void* buffer, std::uint32_t length) {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_Read(handle, buffer, length, &bytesRead);
    return lastStatus;
}

FT_STATUS DevicePort::purge(std::uint32_t mask) {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_Purge(handle, mask);
    return lastStatus;
}

FT_STATUS DevicePort::setBaudRate(std::uint32_t baud) {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_SetBaudRate(handle, baud);
    baudRate = baud;
    return lastStatus;
}

FT_STATUS DevicePort::setDataCharacteristics(std::uint8_t newWordLength, std::uint8_t newStopBits,
                                             std::uint8_t newParity) {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_SetDataCharacteristics(handle, newWordLength, newStopBits, newParity);
    wordLength = newWordLength;
    stopBits = newStopBits;
    parity = newParity;
    return lastStatus;
}

FT_STATUS DevicePort::setFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_SetFlowControl(handle, mode, xon, xoff);
    return lastStatus;
}

FT_STATUS DevicePort::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_SetTimeouts(handle, readMs, writeMs);
    readTimeout = readMs;
    writeTimeout = writeMs;
    return lastStatus;
}

FT_STATUS DevicePort::setLatencyTimer(std::uint8_t ms) {
    if (handle == nullptr) {
        return FT_OK;
    }
    if (!bridgeHasLatencyTimer()) {
        return FT_NOT_SUPPORTED;
    }
    lastStatus = d2xx().FT_SetLatencyTimer(handle, ms);
    return lastStatus;
}

FT_STATUS DevicePort::setDtr(int on) {
    return on == 1 ? assertDtr() : clearDtr();
}

FT_STATUS DevicePort::assertDtr() {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_SetDtr(handle);
    return lastStatus;
}

FT_STATUS DevicePort::clearDtr() {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = d2xx().FT_ClrDtr(handle);
    return lastStatus;
}

FT_STATUS DevicePort::openAndConfigure(int deviceIndex, std::uint32_t baud,
                                       std::uint8_t newWordLength, std::uint8_t newStopBits,
                                       std::uint8_t newParity) {
    if (open(deviceIndex) != FT_OK) {
        return lastStatus;
    }
    return configure(baud, newWordLength, newStopBits, newParity);
}

FT_STATUS DevicePort::configure(std::uint32_t baud, std::uint8_t newWordLength,
                                std::uint8_t newStopBits, std::uint8_t newParity) {
    FT_STATUS firstFailure = setDtr(0);
    if (firstFailure == FT_OK) {
        // The line settings are all made, each whatever the one before answered.
        const FT_STATUS statuses[] = {
            setBaudRate(baud),
            setDataCharacteristics(newWordLength, newStopBits, newParity),
            setFlowControl(FT_FLOW_NONE, 0, 0),
        };
        for (const FT_STATUS status : statuses) {
            if (firstFailure == FT_OK) {
                firstFailure = status;
            }
        }
    }
    if (firstFailure != FT_OK) {
        // Half a configuration is worse than none: a caller would talk at the wrong speed.
        close();
        lastStatus = firstFailure;
    }
    return lastStatus;
}

void DevicePort::prepareEepromRecord() {
    eeprom = FT_PROGRAM_DATA{};
    eeprom.Signature1 = 0x00000000;
    eeprom.Signature2 = 0xFFFFFFFF;
    eeprom.Version = 2;
    eeprom.VendorId = expectedVendorId;
    eeprom.ProductId = expectedProductId;
    eeprom.Manufacturer = manufacturer;
    eeprom.ManufacturerId = manufacturerId;
    eeprom.Description = description;
    eeprom.SerialNumber = serialNumber;
    eeprom.MaxPower = 90;
    eeprom.PnP = 0;
    eeprom.SelfPowered = 0;
    eeprom.RemoteWakeup = 0;
}

FT_STATUS DevicePort::readIdentity(BridgeIdentity& identity) {
    if (handle == nullptr) {
        return FT_OK;
    }
    lastStatus = readBridgeIdentity(handle, identity);
    identity.index = index;
    return lastStatus;
}

// The library fills our string buffers and need not end them in a zero. Ends each within its
// buffer; returns whether any had to be cut, so the record is never written back cut.
bool DevicePort::terminateEepromStrings() {
    bool cut = false;
    const auto terminate = [&cut](char* buffer, std::size_t size) {
        if (std::memchr(buffer, '\0', size) == nullptr) {
            buffer[size - 1] = '\0';
            cut = true;
        }
    };
    terminate(manufacturer, sizeof manufacturer);
    terminate(manufacturerId, sizeof manufacturerId);
    terminate(description, sizeof description);
    terminate(serialNumber, sizeof serialNumber);
    return cut;
}

// Reads the record; false (with eepromCheck saying why) if it cannot be used at all.
bool DevicePort::readEepromRecord() {
    prepareEepromRecord();
    lastStatus = d2xx().FT_EE_Read(handle, &eeprom);
    if (lastStatus != FT_OK) {
        eepromCheck = EepromCheck::ReadFailed;
        return false;
    }
    // The record's pointers always stay on our own buffers, whatever the library did.
    eeprom.Manufacturer = manufacturer;
    eeprom.ManufacturerId = manufacturerId;
    eeprom.Description = description;
    eeprom.SerialNumber = serialNumber;
    if (terminateEepromStrings()) {
        eepromCheck = EepromCheck::StringsCut;
        return false;
    }
    if (eeprom.VendorId != expectedVendorId || eeprom.ProductId != expectedProductId) {
        eepromCheck = EepromCheck::ForeignIds;
        return false;
    }
    return true;
}

DevicePort::EepromCheck DevicePort::inspectEeprom() {
    if (handle == nullptr) {
        eepromCheck = EepromCheck::NotRead;
    } else if (readEepromRecord()) {
        eepromCheck =
            eepromChangesNeeded(eeprom).empty() ? EepromCheck::Right : EepromCheck::NeedsCorrection;
    }
    return eepromCheck;
}

void DevicePort::checkEepromRecord(bool program) {
    if (!applyEepromRules(eeprom)) {
        eepromCheck = EepromCheck::Right;
        return;
    }
    if (program) {
        lastStatus = d2xx().FT_EE_Program(handle, &eeprom);
        if (lastStatus != FT_OK) {
            // Nothing changed on the bridge: cycling it would only make the user reconnect.
            eepromCheck = EepromCheck::ProgramFailed;
            return;
        }
        // The bridge re-enumerates with the new settings and the handle is dead. A cycle that
        // failed leaves the settings written but not in force until the lead is replugged.
        configChanged = 1;
        eepromCheck = d2xx().FT_CyclePort(handle) == FT_OK ? EepromCheck::Corrected
                                                           : EepromCheck::CycleFailed;
        return;
    }
    configChanged = 1;
    eepromCheck = EepromCheck::Corrected;
}

FT_STATUS DevicePort::ensureBridgeConfig(bool program) {
    bool openedHere = false;
    if (handle == nullptr) {
        if (open(0) != FT_OK) {
            return lastStatus;
        }
        openedHere = true;
    }
    const bool usable = readEepromRecord();
    // Only a failed read keeps what an earlier check found.
    if (eepromCheck != EepromCheck::ReadFailed) {
        configChanged = 0;
    }
    if (usable) {
        checkEepromRecord(program);
    }
    if (openedHere) {
        close();
    }
    return lastStatus;
}

} // namespace pxr7
