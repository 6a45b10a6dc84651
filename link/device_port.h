// One FT232R bridge opened through the D2XX library. Each method makes one D2XX call, keeps
// its status in lastStatus and returns it (0 is success; the system never tells failure codes
// apart). Methods other than open() make no call without a handle: they return 0 and leave
// lastStatus alone. Destroying a port does not close the bridge; callers close first.
#pragma once

#include "bridge_identity.h"
#include "d2xx_types.h"
#include "eeprom_rules.h"

#include <cstdint>

namespace pxr7 {

class DevicePort {
public:
    DevicePort();
    DevicePort(const DevicePort&) = delete;
    DevicePort& operator=(const DevicePort&) = delete;

    // On success records index; on failure leaves the port closed. A port that is still open
    // is closed first, so its handle is never lost. A library that answers FT_OK without a
    // handle has failed (FT_INVALID_HANDLE).
    FT_STATUS open(int deviceIndex);
    // Always ends closed (handle null, index -1), whatever the library answers.
    FT_STATUS close();
    // A short count is not a failure: bytesWritten and bytesRead tell what moved.
    FT_STATUS write(const void* buffer, std::uint32_t length);
    FT_STATUS read(void* buffer, std::uint32_t length);
    FT_STATUS purge(std::uint32_t mask);
    FT_STATUS purgeReceive() { return purge(FT_PURGE_RX); }
    FT_STATUS purgeTransmit() { return purge(FT_PURGE_TX); }
    // The setters record what they applied even when the call fails.
    FT_STATUS setBaudRate(std::uint32_t baud);
    FT_STATUS setDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity);
    FT_STATUS setFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff);
    FT_STATUS setTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
    // Asserts DTR only for on == 1; any other value clears it.
    // The bridge's latency timer: how long it holds a few received bytes before passing them
    // on. Only where the library has the call; FT_NOT_SUPPORTED, and no call, elsewhere.
    FT_STATUS setLatencyTimer(std::uint8_t ms);
    FT_STATUS setDtr(int on);
    FT_STATUS assertDtr();
    FT_STATUS clearDtr();

    // Opens bridge deviceIndex with DTR cleared, the baud rate, the framing and no flow
    // control, making every call as long as the open succeeded. Returns the first failing
    // status; a port that could not be set up completely is closed again, so it is either
    // configured or closed.
    FT_STATUS openAndConfigure(int deviceIndex, std::uint32_t baud, std::uint8_t wordLength,
                               std::uint8_t stopBits, std::uint8_t parity);
    // The same on a port that is already open (openAndConfigure is open, then this).
    FT_STATUS configure(std::uint32_t baud, std::uint8_t wordLength, std::uint8_t stopBits,
                        std::uint8_t parity);

    // The bridge's identity as the driver reports it (FT_GetDeviceInfo).
    FT_STATUS readIdentity(BridgeIdentity& identity);

    // Reads the bridge EEPROM and corrects it to the settings the meter needs. With program
    // true a corrected record is written back and the bridge is cycled, after which the
    // handle no longer reaches a live bridge and the caller gives the port up. Opens (and
    // closes again) bridge 0 itself if the port is closed. Nothing is written back for a
    // record that is not a meter lead's (another VID/PID) or whose strings the library left
    // unterminated; a failed program is no correction and the bridge is not cycled.
    // Callers act on configChanged and eepromCheck.
    FT_STATUS ensureBridgeConfig(bool program);

    // Reads the EEPROM record (bounded, ids checked) and says what it would need, changing
    // nothing on the bridge: a lead's settings shown before anything is written. The record
    // stays as read; eepromChangesNeeded(eeprom) lists the corrections. Needs an open port.
    enum class EepromCheck;
    EepromCheck inspectEeprom();

    // What the last ensureBridgeConfig or inspectEeprom found.
    enum class EepromCheck {
        NotRead,         // no check yet
        ReadFailed,      // the EEPROM could not be read; configChanged keeps its value
        Right,           // it holds the required settings
        Corrected,       // it needed correcting (and, if asked to, was programmed and cycled)
        NeedsCorrection, // inspectEeprom: it would need correcting
        ForeignIds,      // it holds another VID/PID: not a meter lead, left alone
        StringsCut,      // a string filled its buffer without a terminator: left alone
        ProgramFailed,   // the correction could not be written; the bridge was not cycled
        CycleFailed,     // written, but the bridge did not restart to take it up: the user
                         // replugs it (configChanged is set; bridgeFailureReason() says why)
    };

    std::int32_t index;
    FT_HANDLE handle;
    FT_STATUS lastStatus;
    std::uint32_t bytesWritten;
    std::uint32_t bytesRead;
    std::uint32_t baudRate;
    std::uint8_t wordLength;
    std::uint8_t stopBits;
    std::uint8_t parity;
    std::uint32_t readTimeout;
    std::uint32_t writeTimeout;
    FT_PROGRAM_DATA eeprom;
    std::uint16_t expectedVendorId;
    std::uint16_t expectedProductId;
    char manufacturer[32];
    char manufacturerId[16];
    char description[kDescriptionBufferSize];
    char serialNumber[16];
    std::uint8_t configChanged;
    EepromCheck eepromCheck = EepromCheck::NotRead;

private:
    void prepareEepromRecord();
    bool terminateEepromStrings();
    void checkEepromRecord(bool program);
    bool readEepromRecord();
};

} // namespace pxr7
