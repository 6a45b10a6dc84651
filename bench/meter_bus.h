// What the meter pipeline needs of the bus: asking a lead's meter for its version, one
// transfer to it, and a clock. The device bus (device_bus.h) is the real one; tests script
// their own.
#pragma once

#include "bridge_identity.h"
#include "lane_observer.h"
#include "meter_run.h"

#include <chrono>
#include <string>
#include <thread>

namespace pxr7 {

enum class Asked {
    Answered,    // the meter on the lead reported its version
    Silent,      // the lead is there and its meter said nothing
    NotAVersion, // the lead is there and bytes came back, but no version (a NAK, garbled)
    Busy,       // the lead is there but held (another program, or another lane): no word either way
    Gone,       // no bridge present is the lead
    CannotTell, // other leads look the same and nothing tells where each is plugged in
};

class MeterBus {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~MeterBus() = default;
    // Asks the meter on lead for its version; lead.index follows the bridge if it moved.
    virtual Asked ask(BridgeIdentity& lead, std::string& version) = 0;
    // One transfer to the meter on lead: reset pulse, handshake, records. Fills the run's record
    // counts and diagnosis; returns Outcome::Ok for a whole image, the failure's outcome, or the
    // stop's.
    virtual Outcome transfer(const BridgeIdentity& lead, LaneObserver& lane, const StopCheck& stop,
                             MeterRun& run) = 0;
    virtual Clock::time_point now() { return Clock::now(); }
    virtual void pause(Clock::duration span) { std::this_thread::sleep_for(span); }
};

} // namespace pxr7
