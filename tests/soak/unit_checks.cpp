// Units against record lines: which unit each line is about, how often each unit is recorded,
// and whether an `ok` or `current` line is true of its unit.
#include "soak_checks.h"

#include "operator_scans.h"
#include "rig_files.h"

#include <algorithm>
#include <cstdio>

namespace soak {

namespace {

// Bench times the soak stamps (a line seen whole, its duration) are this close to the truth.
constexpr long kSlackMs = 150;
// An "ok" run begun after both untold twins had been on the bus this long should not exist.
constexpr long kTwinOkWithinMs = 2500;
// A lane that heard nothing for about a second before a reset gave a meter clipped on in the
// meantime the chance to answer.
constexpr long kListenedMs = 900;
// The lane's last ask comes just before a reset; a meter clipped on between the two (this much
// at most) is as unheard as one clipped on under the reset.
constexpr long kUnaskedBeforeResetMs = 300;
// A meter swapped off within this before a run began, for one answering alike, is one the lane
// cannot have seen leave (it leaves after a second without an answer).
constexpr long kUnitLeftUnseenMs = 1500;

// The station's default --retries is 2: a unit gets at most three reset pulses in its run.
constexpr int kMostPulsesPerRun = 3;

bool isPulse(const UnitEvent& e) {
    return e.kind == EventKind::Pulse || e.kind == EventKind::PulseIgnored;
}

std::string seconds(long ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(ms) / 1000);
    return text;
}

bool inRun(long atMs, const RecordLine& line) {
    return atMs >= line.startMs - kSlackMs && atMs <= line.finishMs + kSlackMs;
}

bool onLeads(const Unit& unit, const std::vector<int>& bridges) {
    for (const int bridge : bridges) {
        if (unit.bridge == bridge) {
            return true;
        }
    }
    return false;
}

std::string describe(const RecordLine& line) {
    return "the line " + line.result + " (attempts " + std::to_string(line.attempts) + ", run " +
           seconds(line.startMs) + " to " + seconds(line.finishMs) + ")";
}

// What a unit took during a span: "2 resets, records 0 to 120".
std::string took(const Unit& unit, long fromMs, long untilMs) {
    int pulses = 0, records = 0;
    long first = -1, last = -1;
    for (const UnitEvent& e : unit.events) {
        if (e.atMs < fromMs || e.atMs > untilMs) {
            continue;
        }
        pulses += isPulse(e) ? 1 : 0;
        if (e.kind == EventKind::Stored) {
            ++records;
            first = first < 0 ? e.record : first;
            last = e.record;
        }
    }
    std::string text = std::to_string(pulses) + " reset(s)";
    if (records > 0) {
        text += ", " + std::to_string(records) + " record(s), " + std::to_string(first) + " to " +
                std::to_string(last);
    }
    return text + (unit.detachedMs >= 0 ? ", taken off at " + seconds(unit.detachedMs) : "");
}

struct Answer {
    const Unit* unit = nullptr;
    const UnitEvent* event = nullptr;
};

class UnitMatcher {
public:
    UnitMatcher(const RunFacts& facts, RunReport& report) : facts_(facts), report_(report) {}

    void run() {
        for (const RecordLine& line : facts_.lines) {
            matchLine(line);
        }
        for (const auto& entry : facts_.truth.units) {
            ++report_.units;
            report_.touched += entry.second.touched() ? 1 : 0;
            checkUnit(entry.second);
        }
    }

private:
    void add(const char* kind, int bridge, const std::string& text) {
        report_.violations.push_back(Violation{kind, where(facts_.plan, bridge) + ", " + text});
    }

    const LeadPlan& lead(int bridge) const {
        return facts_.plan.leads[static_cast<std::size_t>(bridge)];
    }

    // The reply that started the line's run: the last one to reach the host on its leads
    // before the run began.
    Answer answerBefore(const RecordLine& line) const {
        Answer best;
        for (const auto& entry : facts_.truth.units) {
            const Unit& unit = entry.second;
            for (const UnitEvent& e : unit.events) {
                if (onLeads(unit, line.bridges) && unit.answerReachedHost(e) &&
                    e.atMs <= line.startMs + kSlackMs &&
                    (!best.event || e.atMs > best.event->atMs)) {
                    best = Answer{&unit, &e};
                }
            }
        }
        return best;
    }

    bool leftAloneLine(const RecordLine& line) {
        const LeadPlan& l = lead(line.bridges.front());
        if (l.noWrites) {
            add("recorded_left_alone", l.bridge,
                describe(line) + " for a lead it must leave alone");
            return true;
        }
        for (const int bridge : line.bridges) {
            if (line.result == "ok" &&
                twinAlongside(facts_.plan, lead(bridge), line.startMs - kTwinOkWithinMs,
                              line.startMs)) {
                add("ok_for_twin", bridge,
                    describe(line) + " for twin leads that nothing tells apart");
                break;
            }
        }
        return false;
    }

    void matchLine(const RecordLine& line) {
        if (line.bridges.empty()) {
            report_.violations.push_back(Violation{
                "line_for_no_lead", "seed " + std::to_string(facts_.plan.seed) + ": " +
                                        describe(line) + " names lead " + line.serial + " at " +
                                        (line.location.empty() ? "no location" : line.location) +
                                        ", which is not on the bench"});
            return;
        }
        if (leftAloneLine(line)) {
            return;
        }
        const Answer answer = answerBefore(line);
        if (answer.unit == nullptr) {
            add("line_without_unit", line.bridges.front(),
                describe(line) + ": no unit answered on the lead before its run");
            return;
        }
        linesOf_[answer.unit->name()].push_back(&line);
        const std::string unit = "unit " + answer.unit->name() + ": ";
        if (line.versionBefore != answer.event->version) {
            add("wrong_version_before", answer.unit->bridge,
                unit + describe(line) + " says version_before \"" + line.versionBefore +
                    "\", the unit answered \"" + answer.event->version + "\"");
        }
        if (facts_.plan.unitIds) {
            checkUnitId(line, *answer.unit);
        }
        if (line.result == "ok") {
            checkOk(line, answer);
        } else if (line.result == "current") {
            checkCurrent(line, answer);
        }
    }

    // The id names the unit the line is about, scanned while that meter was on its fixture.
    void checkUnitId(const RecordLine& line, const Unit& unit) {
        ++report_.unitIdLines;
        const std::string said = "unit " + unit.name() + ": " + describe(line);
        if (line.operatorName != kSoakOperator) {
            add("wrong_operator", unit.bridge,
                said + " names the operator \"" + line.operatorName + "\"");
        }
        if (line.unitId == unitIdOf(unit.bridge, unit.window)) {
            return;
        }
        const auto named =
            facts_.truth.units.find(line.unitId.size() > 1 ? line.unitId.substr(1) : std::string());
        if (named != facts_.truth.units.end() && named->second.bridge == unit.bridge &&
            named->second.detachedMs >= 0 &&
            named->second.detachedMs >= line.startMs - kUnitLeftUnseenMs &&
            named->second.detachedMs <= line.startMs + kSlackMs) {
            ++report_.unseenIdSwaps;
            return;
        }
        add("wrong_unit_id", unit.bridge,
            said + " carries the unit id \"" + line.unitId + "\"" +
                (line.unitId.empty() ? " (none)" : ""));
    }

    bool answeredImageVersion(const Unit& unit, long fromMs, const RecordLine& line) const {
        for (const UnitEvent& e : unit.events) {
            if (unit.answerReachedHost(e) && e.version == kImageVersion && e.atMs >= fromMs &&
                e.atMs <= line.finishMs + kSlackMs) {
                return true;
            }
        }
        return false;
    }

    std::string capturePath(const Unit& unit) const {
        return facts_.folder + "/cap" + std::to_string(unit.bridge) + ".bin" +
               (unit.window > 0 ? "." + std::to_string(unit.window) : "");
    }

    // Another unit, one that took nothing, answered the image's version after this one was
    // taken off: the lead cannot tell the two apart.
    bool swappedAfterImage(const Unit& unit, long imageAtMs, const RecordLine& line) const {
        for (const auto& entry : facts_.truth.units) {
            const Unit& other = entry.second;
            if (&other != &unit && onLeads(other, line.bridges) && !other.touched() &&
                unit.detachedMs >= 0 &&
                answeredImageVersion(other, std::max(imageAtMs, unit.detachedMs), line)) {
                return true;
            }
        }
        return false;
    }

    // The reset a unit was clipped on under, or clipped on just before without the lead asking
    // anything in between: -1 for neither.
    long unheardReset(const Unit& unit) const {
        long attached = -1, firstHeld = -1;
        for (const UnitEvent& e : unit.events) {
            attached = e.kind == EventKind::Attached && attached < 0 ? e.atMs : attached;
            firstHeld = e.kind == EventKind::Held && firstHeld < 0 ? e.atMs : firstHeld;
        }
        if (attached < 0 || firstHeld < 0) {
            return -1;
        }
        if (unit.clippedOnUnderReset()) {
            return lastHoldBefore(unit.bridge, attached);
        }
        const auto found = facts_.truth.asked.find(unit.bridge);
        for (long at : found == facts_.truth.asked.end() ? std::vector<long>() : found->second) {
            if (at >= attached && at < firstHeld) {
                return -1; // the lead asked after it was clipped on: it could have answered
            }
        }
        return firstHeld - attached <= kUnaskedBeforeResetMs ? firstHeld : -1;
    }

    long lastHoldBefore(int bridge, long at) const {
        long hold = 0;
        const auto found = facts_.truth.dtr.find(bridge);
        if (found != facts_.truth.dtr.end()) {
            for (const auto& edge : found->second) {
                hold = edge.second && edge.first <= at ? edge.first : hold;
            }
        }
        return hold;
    }

    // How long before the reset at hold the lead last heard from the bench (a stored record,
    // or a reset let go); 0 when the reset followed a unit's answer, which proves which unit it
    // is for.
    long silenceBeforeReset(int bridge, long hold) const {
        long answer = -1, other = -1;
        const auto found = facts_.truth.dtr.find(bridge);
        if (found != facts_.truth.dtr.end()) {
            for (const auto& edge : found->second) {
                other = !edge.second && edge.first < hold ? std::max(other, edge.first) : other;
            }
        }
        for (const auto& entry : facts_.truth.units) {
            const Unit& u = entry.second;
            for (const UnitEvent& e : u.events) {
                if (u.bridge == bridge && e.atMs < hold) {
                    answer = u.answerReachedHost(e) ? std::max(answer, e.atMs) : answer;
                    other = e.kind == EventKind::Stored ? std::max(other, e.atMs) : other;
                }
            }
        }
        return answer > other ? 0 : hold - other;
    }

    // Clipped on in place of a meter on the same version, with nothing asked between the one's
    // take-off and the other's clip-on: the lead heard the same answer before and after.
    bool swappedUnheard(const Unit& unit) const {
        const auto before = facts_.truth.units.find(std::to_string(unit.bridge) + "." +
                                                    std::to_string(unit.window - 1));
        if (unit.window == 0 || before == facts_.truth.units.end() ||
            before->second.detachedMs < 0) {
            return false;
        }
        const std::string said = lastAnswer(before->second), first = firstAnswer(unit);
        long attached = -1;
        for (const UnitEvent& e : unit.events) {
            attached = e.kind == EventKind::Attached && attached < 0 ? e.atMs : attached;
        }
        const auto asked = facts_.truth.asked.find(unit.bridge);
        for (long at : asked == facts_.truth.asked.end() ? std::vector<long>() : asked->second) {
            if (at >= before->second.detachedMs && at <= attached) {
                return false;
            }
        }
        return attached >= 0 && !said.empty() && said == first;
    }

    std::string firstAnswer(const Unit& unit) const {
        for (const UnitEvent& e : unit.events) {
            if (unit.answerReachedHost(e)) {
                return e.version;
            }
        }
        return "";
    }

    std::string lastAnswer(const Unit& unit) const {
        std::string version;
        for (const UnitEvent& e : unit.events) {
            version = unit.answerReachedHost(e) ? e.version : version;
        }
        return version;
    }

    // Clipped on under a reset, or just before one with nothing asked in between, that the lead
    // began after the unit before had answered, or after listening long enough; or swapped in
    // unheard for a meter on its version: no lead can tell it from the unit before.
    bool cannotBeToldApart(const Unit& unit) const {
        if (swappedUnheard(unit)) {
            return true;
        }
        const long hold = unheardReset(unit);
        if (hold < 0) {
            return false;
        }
        const long silence = silenceBeforeReset(unit.bridge, hold);
        return silence == 0 || silence >= kListenedMs;
    }

    // Another unit, clipped on while this one was held in reset, took the image in its place.
    bool tookImageUnderReset(const Unit& unit, const RecordLine& line) const {
        for (const auto& entry : facts_.truth.units) {
            const Unit& other = entry.second;
            if (&other == &unit || !onLeads(other, line.bridges) || !cannotBeToldApart(other)) {
                continue;
            }
            for (const UnitEvent& e : other.events) {
                if (e.kind == EventKind::NewFirmware && inRun(e.atMs, line)) {
                    return true;
                }
            }
        }
        return false;
    }

    void checkOk(const RecordLine& line, const Answer& answer) {
        const Unit& unit = *answer.unit;
        const std::string said = "unit " + unit.name() + ": " + describe(line);
        const UnitEvent* image = nullptr;
        for (const UnitEvent& e : unit.events) {
            image = e.kind == EventKind::NewFirmware && inRun(e.atMs, line) ? &e : image;
        }
        if (image == nullptr && tookImageUnderReset(unit, line)) {
            return;
        }
        // Taken off while its last record was on the wire, which no "!" answers: the host sent
        // the whole image, and a meter already upgraded clipped on in its place answered.
        if (image == nullptr && inRun(unit.detachedMs, line) &&
            swappedAfterImage(unit, unit.detachedMs, line)) {
            ++report_.swapsAfterImage;
            return;
        }
        if (image == nullptr) {
            add("false_ok", unit.bridge,
                said + ", but it took no whole image during the run (" +
                    took(unit, line.startMs, line.finishMs) + ")");
        } else if (simrig::fileText(capturePath(unit)) != facts_.image) {
            add("false_ok", unit.bridge, said + ", but what it stored is not the image");
        } else if (answeredImageVersion(unit, image->atMs, line)) {
            return;
        } else if (swappedAfterImage(unit, image->atMs, line)) {
            ++report_.swapsAfterImage;
        } else {
            add("false_ok", unit.bridge,
                said + ", but it never answered " + kImageVersion + " after its image (" +
                    took(unit, line.startMs, line.finishMs) + ")");
        }
    }

    void checkCurrent(const RecordLine& line, const Answer& answer) {
        const Unit& unit = *answer.unit;
        const std::string said = "unit " + unit.name() + ": " + describe(line);
        if (answer.event->version != kImageVersion) {
            add("false_current", unit.bridge,
                said + ", but it answered \"" + answer.event->version + "\"");
        }
        for (const UnitEvent& e : unit.events) {
            if ((isPulse(e) || e.kind == EventKind::Stored) && inRun(e.atMs, line)) {
                add("false_current", unit.bridge,
                    said + ", but it took " + took(unit, line.startMs, line.finishMs));
                return;
            }
        }
    }

    // The lines whose runs saw the unit take a pulse or a record.
    std::string runsThatTouched(const Unit& unit) const {
        std::string text;
        for (const RecordLine& line : facts_.lines) {
            for (const UnitEvent& e : unit.events) {
                if ((isPulse(e) || e.kind == EventKind::Stored) && onLeads(unit, line.bridges) &&
                    inRun(e.atMs, line)) {
                    text += "; it took them during " + describe(line);
                    break;
                }
            }
        }
        return text;
    }

    void checkUnit(const Unit& unit) {
        const std::vector<const RecordLine*>& lines = linesOf_[unit.name()];
        const bool apart = !cannotBeToldApart(unit);
        report_.swapsUnderReset += unit.touched() && !apart ? 1 : 0;
        for (const RecordLine* line : lines) {
            const auto pulses =
                std::count_if(unit.events.begin(), unit.events.end(), [&](const UnitEvent& e) {
                    return isPulse(e) && inRun(e.atMs, *line);
                });
            if (pulses > kMostPulsesPerRun) {
                add("too_many_resets", unit.bridge,
                    "unit " + unit.name() + ": " + describe(*line) + ", but it took " +
                        took(unit, line->startMs, line->finishMs));
            }
        }
        if (lines.size() > 1) {
            std::string text =
                "unit " + unit.name() + ": recorded " + std::to_string(lines.size()) + " times:";
            for (const RecordLine* line : lines) {
                text += " " + describe(*line) + ";";
            }
            add("recorded_twice", unit.bridge, text);
        } else if (lines.empty() && unit.touched() && apart) {
            const long hold = unheardReset(unit);
            const std::string underReset =
                hold >= 0 ? "; clipped on under (or just before) a reset begun " +
                                seconds(silenceBeforeReset(unit.bridge, hold)) +
                                " after the lead last heard from the bench"
                          : "";
            add("never_recorded", unit.bridge,
                "unit " + unit.name() + ": never recorded, though it took " +
                    took(unit, 0, 1L << 40) + runsThatTouched(unit) + underReset);
        }
    }

    const RunFacts& facts_;
    RunReport& report_;
    std::map<std::string, std::vector<const RecordLine*>> linesOf_;
};

} // namespace

void checkUnitsAndLines(const RunFacts& facts, RunReport& report) {
    UnitMatcher(facts, report).run();
}

} // namespace soak
