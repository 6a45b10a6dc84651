// Finding a meter lead again once it has been looked at: the physical bridge that was shown,
// not the first bridge that shows the same serial number. Cloned chips often share one serial
// number and a lead with its serial disabled has none; where that leaves leads alike, their
// USB location tells them apart, if the library can tell it.
#pragma once

#include "bridge_identity.h"
#include "device_port.h"

#include <cstdint>

namespace pxr7 {

enum class FindOutcome {
    Found,     // index is the bridge
    NotFound,  // no bridge present is it
    Ambiguous, // several match, or nothing could tell it from others like it: no answer is proof
};

struct FindResult {
    FindOutcome outcome = FindOutcome::NotFound;
    int index = -1;
    // NotFound, but a bridge that could not be opened to read who it is (someone holds it) may
    // be the one looked for: where it sits does not rule it out.
    bool maybeHeld = false;
};

// Looks at every bridge present for the meter lead original was: the same type, id and serial
// number (the description may have changed with its settings), and where the serial number
// does not tell it apart (serialTellsApart), the same location. A lead with a shared or empty
// serial number and no location is never Found: Ambiguous if any bridge looks like it.
FindResult findSameBridge(const BridgeIdentity& original);

// openSameBridge's baud for an open that only looks: who the bridge is and its EEPROM, read
// with nothing set, so a bridge nobody agreed to set up keeps its driver and its line.
constexpr std::uint32_t kLookOnly = 0;

enum class OpenCheck {
    Opened,     // it is the bridge expected, set up at the baud rate, 8N1, no flow control
                // (with kLookOnly: open, nothing set)
    Gone,       // no bridge at that index any more (FT_DEVICE_NOT_FOUND)
    Busy,       // it could not be opened or set up; port.lastStatus says why
    NotTheSame, // another bridge sits at that index now: nothing was sent or set
};

// Opens the bridge at expected.index and, before anything is sent or set, re-reads who it is
// on the opened handle (sameIdentity, and the location where expected has one). Only then is
// the line set up, unless baud is kLookOnly. Anything but Opened leaves the port closed.
OpenCheck openSameBridge(DevicePort& port, const BridgeIdentity& expected, std::uint32_t baud);

} // namespace pxr7
