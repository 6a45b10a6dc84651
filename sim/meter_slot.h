// The far end of a lead: the meter clipped onto it. Without meter windows one meter is there
// all the time. With them, a new unit is clipped on at the start of each window (its own state,
// starting on the scenario's version, its own capture file) and taken off at its end; in
// between the lead has no meter, so bytes written go nowhere and nothing comes back.
#pragma once

#include "meter.h"
#include "receive_path.h"
#include "scenario.h"
#include "sim_time.h"

#include <memory>
#include <string>
#include <vector>

namespace sim {

class MeterSlot {
public:
    // Window times count from origin. Replies go to toHost, which must outlive the slot; what
    // each unit does goes to units (if not null) as units of the bridge numbered bridge.
    MeterSlot(const BridgeScenario& config, const std::string& version, ReceivePath& toHost,
              Micros origin, UnitLog* units = nullptr, int bridge = 0);

    // The meter on the lead now, or null.
    Meter* meter() { return meter_.get(); }
    const Meter* meter() const { return meter_.get(); }

    // The time of the next clip-on or take-off, kNever if none is left; passEdge() makes it
    // happen (the caller first brings everything before it up to date).
    Micros nextEdge() const;
    void passEdge(bool dtrAsserted);

    void receive(Micros at, std::uint8_t byte, const LineFormat& line);
    // The DTR line changed. A reset pulse that starts the boot loader starts a transfer; the
    // first one on this lead may be the one stop_once_after_record stops.
    void setDtr(Micros at, bool asserted);

    // The version the lead's meter runs, or the last one known when none is on it.
    std::string version() const;
    bool takeVersionChanged();
    Micros readsFailAt() const;
    Micros readsHangAt() const;

private:
    struct Edge {
        Micros at;
        int unit; // the window's number when clipped on, -1 when taken off
    };

    void attach(int unit, Micros at, bool dtrAsserted);
    // The version a window's unit comes with.
    std::string unitVersion(int unit) const;

    BridgeScenario config_;
    std::string version_;
    ReceivePath& toHost_;
    std::vector<Edge> edges_;
    std::size_t nextEdge_ = 0;
    UnitLog* units_;
    int bridge_;
    std::unique_ptr<Meter> meter_;
    UnitNotes notes_; // the unit on the lead now
    std::string lastVersion_;
    bool stopOnceArmed_;
};

} // namespace sim
