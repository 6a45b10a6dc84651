// Which bridge a start may upgrade. The warning's search or the front end names the meter;
// the start re-checks on the opened handle that it reached that bridge before it writes
// anything. Cloned FT232R chips share a serial number and a lead may have none, so a bridge
// is looked for by its serial number only when exactly one bridge present carries it.
#pragma once

#include "bridge_identity.h"
#include "version_query.h"

#include <string>

namespace pxr7 {

struct StartTarget {
    enum class Kind {
        BridgeZero,       // no meter shown: bridge 0, if it is a meter lead
        Meter,            // the meter shown (or chosen) on bridge index
        ReprogrammedLead, // the one lead the search set up, once it is back
        Nothing,          // the search left nothing the start may safely reach
    };
    Kind kind = Kind::BridgeZero;
    int index = 0; // BridgeZero and Meter: the bridge the start opens first
    std::string serialNumber;
    std::string description; // Meter: as the search saw it; empty: any lead's description
};

// What the warning's search leaves for the start.
StartTarget targetAfterSearch(const MeterSearch& search);

// The meter lead a front end chose by serial number, found at index.
StartTarget chosenTarget(const std::string& serialNumber, int index);

// Whether the opened bridge is the target: a meter lead with its serial number (and
// description, where known); a reprogrammed lead must also be set up now.
bool reachedTarget(const StartTarget& target, const BridgeIdentity& opened);

// Where a serial number is on the bus now: Unique with its index, Absent, or Unsure (several
// bridges carry it, it is empty, or a bridge could not be asked who it is).
struct SerialPresence {
    enum class Count { Absent, Unique, Unsure };
    Count count = Count::Absent;
    int index = -1;
};
SerialPresence findSerialOnBus(const std::string& serialNumber);

} // namespace pxr7
