// The simulator's truth log read back (sim/README.md, "The truth log"): every meter unit with
// what it did, in bench-clock order, and where the bench clock's 0 lies on the machine's
// steady clock.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace soak {

// PulseIgnored: a reset pulse reached a meter whose reset does not take.
enum class EventKind {
    Attached,
    Detached,
    Held,
    Pulse,
    PulseIgnored,
    Answered,
    Stored,
    NewFirmware
};

struct UnitEvent {
    EventKind kind = EventKind::Attached;
    long atMs = 0;
    long record = -1;    // Stored
    std::string version; // Answered, NewFirmware
    std::string reply;   // Answered: normal, nak, silent, ...
};

struct Unit {
    int bridge = 0;
    int window = 0;
    std::vector<UnitEvent> events; // by time
    long detachedMs = -1;          // -1: never noted as taken off

    std::string name() const { return std::to_string(bridge) + "." + std::to_string(window); }
    // A reset pulse reached it, or it stored a record.
    bool touched() const;
    // It was clipped on while the lead held the reset: its first reset was the one another
    // unit was given, and nothing on the lead can tell the two apart.
    bool clippedOnUnderReset() const;
    // A version reply that reached the host: a well-formed one, sent before it was taken off.
    bool answerReachedHost(const UnitEvent& event) const;
};

struct Truth {
    long long originSteadyUs = -1; // -1 until the bench line is there
    std::map<std::string, Unit> units;
    std::map<int, std::vector<std::pair<long, bool>>> dtr; // per lead: when, and asserted
    std::map<int, std::vector<long>> asked; // per lead: when a command frame reached it
    std::vector<std::string> problems;      // lines that could not be read
};

Truth readTruth(const std::string& text);

} // namespace soak
