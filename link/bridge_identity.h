// Who a bridge is, as the driver reports it before anything is written to it, and the rule
// that says whether it is a meter lead. Only a meter lead's EEPROM is ever read or programmed,
// and only a meter lead is asked for its version or upgraded.
#pragma once

#include "d2xx_types.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pxr7 {

constexpr std::uint32_t kMeterLeadDeviceId = 0x04036001; // FTDI's VID 0403, PID 6001
constexpr char kFactoryBridgeDescription[] = "FT232R USB UART";

struct BridgeIdentity {
    int index = -1; // the D2XX device index it was found at
    FT_DEVICE type = 0;
    std::uint32_t id = 0; // VID << 16 | PID
    std::string serialNumber;
    std::string description;
    // Where it sits on the USB bus (D2XX's location id: bus and port path), read only where
    // serial numbers do not tell the meter leads apart, and only if the library can tell.
    std::optional<std::uint32_t> location;
    // Another meter lead showed the same serial number when this one was found.
    bool serialShared = false;
};

// Whether the serial number alone finds this lead again: it has one, and no other lead
// present shared it.
bool serialTellsApart(const BridgeIdentity& bridge);

// Whether found, read from a bridge just opened, is the bridge expected was: the same type,
// id, serial number and description.
bool sameIdentity(const BridgeIdentity& expected, const BridgeIdentity& found);

// Whether text equals wanted, ignoring letter case and trailing blanks.
bool sameDescription(const std::string& text, const char* wanted);

// An FT232R with FTDI's VID and PID whose description is the lead's (set up) or the FT232R's
// factory one (a fresh lead). Anything else belongs to somebody else.
bool isMeterLead(const BridgeIdentity& bridge);

// Fills identity from FT_GetDeviceInfo on an open handle; the strings are taken only within
// their 16- and 64-byte buffers. Returns the call's status.
FT_STATUS readBridgeIdentity(FT_HANDLE handle, BridgeIdentity& identity);

// Opens bridge index on its own, reads its identity and closes it again. False if it could
// not be opened or did not tell who it is.
bool probeBridge(int index, BridgeIdentity& identity);

// The number of bridges attached, as FT_ListDevices counts them; 0 if the call fails. Capped,
// so a misbehaving library cannot make a walk run for ever.
std::uint32_t countBridges();

// The USB location of the bridge at index now (a fresh device information list, then its
// entry); none where the library lacks those calls or they fail.
std::optional<std::uint32_t> readBridgeLocation(int index);
// Whether the driver lists bridge index as open: some process holds it (FTDI's library shows
// a bridge another program has open so; one it cannot open for want of permission, not).
bool bridgeShownOpen(int index);

// The index of the present bridge with the serial number, or -1. The first one: where serial
// numbers may be shared, findSameBridge (same_bridge.h) is the way to find a lead again.
int findBridgeBySerial(const std::string& serialNumber);

} // namespace pxr7
