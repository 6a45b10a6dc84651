// A random bench for one soak run, made from a seed: eight leads, each a meter lead with meters
// clipped on and off (some pulled part-way through their transfer), or a lead the station must
// leave alone (another gadget's adapter, a factory-fresh lead without --setup, twins that
// nothing tells apart), with the simulator's faults sprinkled over them; how long the bench
// runs before the first signal, and which signal. The same seed always gives the same bench.
#pragma once

#include <string>
#include <vector>

namespace soak {

// What every unit runs after a whole image, and what the station's image declares.
constexpr char kImageVersion[] = "PXR7 V1.03";
constexpr char kOldVersion[] = "PXR7 V1.02";

enum class LeadKind { Meter, Foreign, Factory, Twin };
enum class StopMode { Drain, Terminate, InterruptTwice };

struct LeadPlan {
    int bridge = 0;
    LeadKind kind = LeadKind::Meter;
    std::string serial;
    std::vector<std::string> keys; // the lines of its [bridge N] section
    bool noResets = false;         // no FT_SetDtr and no FT_EE_Program may reach it
    bool noWrites = false;         // nor any FT_Write
    // A twin that nothing tells apart from the other: no reset may begin on it while both have
    // been on the bus for a while (alone, it is a lead like any other).
    bool untoldTwin = false;
    long onBusFromMs = 0, onBusUntilMs = 1L << 40; // appear_ms, leave_ms
    std::vector<std::pair<long, long>> windows;    // its meters' windows, in order
    std::string label; // with unit ids: its name in the bench file, "" when it has none
};

struct BenchPlan {
    unsigned seed = 0;
    long stopAtMs = 0; // the first signal, on the bench's clock
    StopMode stop = StopMode::Drain;
    bool setup = false; // the station runs with --setup
    bool locationsKnown = true;
    std::vector<LeadPlan> leads;
    // With unit ids, the operator scans each waiting meter's fixture and id (operator_scans.h)
    // some time after its lane asks, and the record must carry each unit's own id.
    bool unitIds = false;
};

BenchPlan planBench(unsigned seed);

// The bench file for the plan's lead names (unit ids only).
std::string benchFileText(const BenchPlan& plan);
// The unit the operator scans for a meter of window w on bridge b: "U<b>.<w>".
std::string unitIdOf(int bridge, int window);

// The scenario file for the plan, writing its truth log to unitsLog.
std::string scenarioText(const BenchPlan& plan, const std::string& unitsLog);

// Whether lead, an untold twin, and another one were both on the bus from fromMs to toMs, so
// that the station could see both.
bool twinAlongside(const BenchPlan& plan, const LeadPlan& lead, long fromMs, long toMs);

// "PX7A0003 (bridge 3)".
std::string leadName(const LeadPlan& lead);

} // namespace soak
