#include "bench_plan.h"

#include "record_lines.h"

#include <algorithm>
#include <random>

namespace soak {

namespace {

constexpr int kLeads = 8;
// The last meter on a lead stays on well past the first signal, so one under way can finish.
constexpr long kStaysAfterStopMs = 20000;
constexpr char kTwinSerial[] = "PX7T0001";

class Dice {
public:
    explicit Dice(unsigned seed) : engine_(seed) {}
    // Uniform in [low, high]; the engine's raw numbers, so every platform rolls alike.
    long between(long low, long high) {
        return low + static_cast<long>(engine_() % static_cast<unsigned long>(high - low + 1));
    }
    bool chance(int percent) { return between(1, 100) <= percent; }

private:
    std::mt19937 engine_;
};

std::string windowList(const std::vector<std::pair<long, long>>& windows) {
    std::string text;
    for (const auto& w : windows) {
        text +=
            (text.empty() ? "" : ",") + std::to_string(w.first) + "-" + std::to_string(w.second);
    }
    return text;
}

// How long a meter stays: most long enough for an upgrade; some pulled part-way through their
// transfer, some around their verification (an upgrade takes about 5 s from clip-on).
long stayMs(Dice& dice, bool& early) {
    const long roll = dice.between(1, 100);
    early = roll <= 40;
    return roll <= 25 ? dice.between(1500, 4500)
           : early    ? dice.between(5000, 8000)
                      : dice.between(8000, 14000);
}

// Meters in turn from start on, each next one clipped on 0.5-2 s after the last; some come
// already upgraded, more often right after one pulled early (the swap a lead cannot tell from
// its own meter).
void addMeterWindows(Dice& dice, long start, long stopAt, LeadPlan& lead) {
    std::vector<std::pair<long, long>> windows;
    std::string upgraded;
    bool lastEarly = false;
    while (start < stopAt) {
        bool early = false;
        long end = start + stayMs(dice, early);
        end = end >= stopAt ? stopAt + kStaysAfterStopMs : end;
        if (dice.chance(lastEarly ? 35 : 8)) {
            upgraded += (upgraded.empty() ? "" : ",") + std::to_string(windows.size());
        }
        windows.emplace_back(start, end);
        lastEarly = early;
        start = end + dice.between(500, 2000);
    }
    lead.keys.push_back("meter_windows = " + windowList(windows));
    lead.windows = windows;
    if (!upgraded.empty()) {
        lead.keys.push_back("upgraded_windows = " + upgraded);
    }
}

void addBusyWindows(Dice& dice, long stopAt, LeadPlan& lead) {
    std::vector<std::pair<long, long>> windows;
    for (long n = dice.between(1, 3); n > 0; --n) {
        const long from = dice.between(0, stopAt);
        windows.emplace_back(from, from + dice.between(300, 3000));
    }
    std::sort(windows.begin(), windows.end());
    for (std::size_t i = 1; i < windows.size(); ++i) {
        windows[i].first = std::max(windows[i].first, windows[i - 1].second);
        windows[i].second = std::max(windows[i].second, windows[i].first + 1);
    }
    lead.keys.push_back("busy_ms = " + windowList(windows));
}

void addFaults(Dice& dice, long stopAt, LeadPlan& lead) {
    const auto key = [&lead](const std::string& line) { lead.keys.push_back(line); };
    if (dice.chance(20)) {
        key("stop_once_after_record = " + std::to_string(dice.between(0, 313)));
    }
    if (dice.chance(6)) {
        key("handshake = none");
    }
    if (dice.chance(10)) {
        key(dice.chance(50) ? "version_reply = silent" : "version_reply = nak");
    }
    if (dice.chance(8)) {
        key("version_after_upgrade = \"PXR7 V1.04\"");
    }
    if (dice.chance(20)) {
        addBusyWindows(dice, stopAt, lead);
    }
    if (dice.chance(12)) {
        key("leave_ms = " + std::to_string(dice.between(4000, stopAt)));
    }
    // Meters that answer where the simulator's others keep quiet: one whose reset does not
    // take, and one whose boot loader answers on the firmware it holds.
    if (dice.chance(8)) {
        key("reset = ignored");
    } else if (dice.chance(15)) {
        key("boot_loader_answers = version");
    }
}

// A lead with meters: plugged in at the start or later, its meters, its faults.
void planMeterLead(Dice& dice, const BenchPlan& plan, bool versionPerUnit, LeadPlan& lead) {
    long start = 0;
    if (dice.chance(20)) {
        start = dice.between(1000, 10000);
        lead.keys.push_back("appear_ms = " + std::to_string(start));
    }
    lead.keys.push_back("capture = cap" + std::to_string(lead.bridge) + ".bin");
    if (versionPerUnit) {
        lead.keys.push_back("version_per_unit = yes");
    }
    if (dice.chance(50)) {
        lead.keys.push_back("start_delay_ms = " + std::to_string(dice.between(200, 3000)));
    }
    addMeterWindows(dice, start + dice.between(0, 1500), plan.stopAtMs, lead);
    addFaults(dice, plan.stopAtMs, lead);
}

LeadKind rollKind(Dice& dice) {
    const long roll = dice.between(1, 100);
    return roll <= 8 ? LeadKind::Foreign : roll <= 18 ? LeadKind::Factory : LeadKind::Meter;
}

void planLead(Dice& dice, BenchPlan& plan, bool versionPerUnit, LeadPlan& lead) {
    lead.serial = "PX7A000" + std::to_string(lead.bridge);
    switch (lead.kind) {
    case LeadKind::Foreign:
        // Somebody's USB-serial adapter: a factory-fresh FT232R renamed by its maker.
        lead.keys = {"eeprom = factory", "description = \"USB-Serial Gadget\""};
        lead.noResets = lead.noWrites = true;
        return;
    case LeadKind::Factory:
        lead.keys = {"eeprom = factory"};
        lead.noResets = lead.noWrites = !plan.setup;
        break;
    case LeadKind::Twin:
        lead.serial = kTwinSerial;
        lead.keys = {"serial = " + lead.serial};
        lead.untoldTwin = !plan.locationsKnown;
        break;
    case LeadKind::Meter:
        break;
    }
    planMeterLead(dice, plan, versionPerUnit, lead);
    if (lead.untoldTwin) {
        // Held by another program, a twin is hidden from the station's look at the bus.
        lead.keys.erase(
            std::remove_if(lead.keys.begin(), lead.keys.end(),
                           [](const std::string& k) { return k.rfind("busy_ms", 0) == 0; }),
            lead.keys.end());
    }
    for (const std::string& k : lead.keys) {
        if (k.rfind("appear_ms = ", 0) == 0) {
            lead.onBusFromMs = std::stol(k.substr(12));
        } else if (k.rfind("leave_ms = ", 0) == 0) {
            lead.onBusUntilMs = std::stol(k.substr(11));
        }
    }
}

// Unit ids on half the benches, with their own dice so a seed's bench stays what it was: leads
// named by location (or by serial where that is theirs alone), the others scanned by serial.
void planUnitIds(BenchPlan& plan) {
    Dice dice(plan.seed ^ 0x5eedu);
    plan.unitIds = dice.chance(50);
    for (LeadPlan& lead : plan.leads) {
        // Twins on a bench that knows locations are told apart by their names only.
        const bool named = dice.chance(60) || lead.kind == LeadKind::Twin;
        if (plan.unitIds && named && (plan.locationsKnown || lead.kind != LeadKind::Twin)) {
            lead.label = "Fixture " + std::to_string(lead.bridge);
        }
    }
}

} // namespace

std::string unitIdOf(int bridge, int window) {
    return "U" + std::to_string(bridge) + "." + std::to_string(window);
}

std::string benchFileText(const BenchPlan& plan) {
    std::string text = "# soak bench " + std::to_string(plan.seed) + "\nunit_ids = yes\n";
    for (const LeadPlan& lead : plan.leads) {
        if (lead.label.empty()) {
            continue;
        }
        text +=
            plan.locationsKnown ? "location " + locationOf(lead.bridge) : "serial " + lead.serial;
        text += " = " + lead.label + "\n";
    }
    return text;
}

BenchPlan planBench(unsigned seed) {
    Dice dice(seed);
    BenchPlan plan;
    plan.seed = seed;
    plan.stopAtMs = dice.between(20000, 40000);
    const long stop = dice.between(1, 100);
    plan.stop = stop <= 80   ? StopMode::Drain
                : stop <= 90 ? StopMode::Terminate
                             : StopMode::InterruptTwice;
    plan.setup = dice.chance(30);
    const bool twins = dice.chance(35);
    plan.locationsKnown = !dice.chance(twins ? 50 : 15);
    const bool versionPerUnit = dice.chance(15);
    for (int bridge = 0; bridge < kLeads; ++bridge) {
        LeadPlan lead;
        lead.bridge = bridge;
        lead.kind = twins && bridge >= kLeads - 2 ? LeadKind::Twin : rollKind(dice);
        planLead(dice, plan, versionPerUnit, lead);
        plan.leads.push_back(lead);
    }
    planUnitIds(plan);
    return plan;
}

std::string scenarioText(const BenchPlan& plan, const std::string& unitsLog) {
    static const char* const stops[] = {"Ctrl+C", "SIGTERM", "Ctrl+C twice"};
    std::string text = "# soak bench, seed " + std::to_string(plan.seed) + ": pxr7 station" +
                       (plan.setup ? " --setup" : "") + (plan.unitIds ? " --unit-ids" : "") + ", " +
                       stops[static_cast<int>(plan.stop)] + " at " + std::to_string(plan.stopAtMs) +
                       " ms\n";
    text += "units_log = " + unitsLog + "\n";
    if (!plan.locationsKnown) {
        text += "locations = none\n";
    }
    for (const LeadPlan& lead : plan.leads) {
        text += "[bridge " + std::to_string(lead.bridge) + "]\n";
        for (const std::string& key : lead.keys) {
            text += key + "\n";
        }
    }
    return text;
}

bool twinAlongside(const BenchPlan& plan, const LeadPlan& lead, long fromMs, long toMs) {
    if (!lead.untoldTwin || fromMs < lead.onBusFromMs || toMs >= lead.onBusUntilMs) {
        return false;
    }
    for (const LeadPlan& other : plan.leads) {
        if (other.untoldTwin && other.bridge != lead.bridge && other.onBusFromMs <= fromMs &&
            toMs < other.onBusUntilMs) {
            return true;
        }
    }
    return false;
}

std::string leadName(const LeadPlan& lead) {
    return lead.serial + " (bridge " + std::to_string(lead.bridge) + ")";
}

} // namespace soak
