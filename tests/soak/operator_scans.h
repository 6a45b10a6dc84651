// The soak's operator at a bench with unit ids: it reads the station's --json events, and some
// time after a lane asks for an id (0 to 1.5 s, from the seed) it looks at the fixture, scans
// its label (LANE:NAME, or the lead's serial number) and the id of the meter clipped on there
// now, as the plan's windows say. A lane still asking 2.5 s later is scanned again, so an id let
// go or refused is given once more. First of all it scans its badge.
#pragma once

#include "bench_plan.h"

#include <map>
#include <random>
#include <string>

namespace soak {

constexpr char kSoakOperator[] = "Soak operator";

class OperatorScans {
public:
    OperatorScans(const BenchPlan& plan, int input)
        : plan_(plan), input_(input), dice_(plan.seed) {}

    // The station's output so far; scans what is due at nowMs on the bench's clock.
    void look(const std::string& output, long nowMs);

private:
    struct LaneSeen {
        std::string serial, name;
        bool asks = false;
        long dueMs = -1;
    };

    void take(const std::string& event, long nowMs);
    void scan(LaneSeen& lane, long nowMs);
    void send(const std::string& text);

    const BenchPlan& plan_;
    int input_;
    std::mt19937 dice_;
    std::size_t read_ = 0;
    bool badge_ = false;
    std::map<long, LaneSeen> lanes_;
};

} // namespace soak
