// The station view's part for unit ids: the text being typed, where the next id goes, ids bound,
// let go and refused, the ids waiting, and who runs the bench.
#include "json_text.h"
#include "json_writer.h"
#include "lane_words.h"
#include "station_view.h"
#include "terminal.h"
#include "terminal_caps.h"
#include "unit_ids.h"
#include "utf8.h"

namespace pxr7 {

namespace {

const char* const kNull = nullptr;

bool json() {
    return terminal().settings().json;
}

// The line under the header: where the next id goes.
std::string nextIdWords(const UnitIdTarget& target) {
    const std::string lane = laneLabel(target.lane);
    switch (target.kind) {
    case UnitIdTarget::Kind::Scanned:
        return "next id -> " + lane + " (scanned)";
    case UnitIdTarget::Kind::OnlyOne:
        return "next id -> " + lane + ", the only meter waiting";
    case UnitIdTarget::Kind::Oldest:
        return "next id -> " + lane + ", waiting longest";
    case UnitIdTarget::Kind::ScanFirst:
        return "scan the fixture first: " + std::to_string(target.waiting) + " meters wait";
    case UnitIdTarget::Kind::NoneWaiting:
        break;
    }
    return "no meter waits for an id";
}

// Why the fixture scanned before is no longer the target, or "".
std::string droppedWords(const UnitIdTarget& target) {
    const std::string was = laneLabel(target.droppedLane);
    switch (target.dropped) {
    case UnitIdTarget::Dropped::Replaced:
        return "The scan of " + was + " is replaced by " + laneLabel(target.lane) + ".";
    case UnitIdTarget::Dropped::Lapsed:
        return "The scan of " + was + " lapsed: no id followed within " +
               std::to_string(kLaneScanKept.count()) + " s. Scan the fixture again.";
    case UnitIdTarget::Dropped::No:
        break;
    }
    return "";
}

const char* droppedCode(UnitIdTarget::Dropped dropped) {
    return dropped == UnitIdTarget::Dropped::Replaced ? "replaced"
           : dropped == UnitIdTarget::Dropped::Lapsed ? "lapsed"
                                                      : nullptr;
}

bool hasLane(UnitIdTarget::Kind kind) {
    return kind == UnitIdTarget::Kind::Scanned || kind == UnitIdTarget::Kind::OnlyOne ||
           kind == UnitIdTarget::Kind::Oldest;
}

} // namespace

void StationView::unitIdTarget(const UnitIdTarget& target) {
    const bool lane = hasLane(target.kind);
    if (json()) {
        JsonObject event;
        event.add("event", "unit_id_target").add("target", unitIdTargetCode(target.kind));
        if (lane) {
            event.add("lane", target.lane.number)
                .add("serial", target.lane.serial)
                .addNameOrNull("lane_name", target.lane.name);
        } else {
            event.add("lane", kNull).add("serial", kNull).add("lane_name", kNull);
        }
        event.add("waiting", target.waiting).add("dropped", droppedCode(target.dropped));
        if (target.dropped != UnitIdTarget::Dropped::No) {
            event.add("dropped_lane", target.droppedLane.number);
        } else {
            event.add("dropped_lane", kNull);
        }
        event.print();
        return;
    }
    const std::string dropped = droppedWords(target);
    if (!dropped.empty()) {
        terminal().line(LineKind::Info, dropped);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    nextId_ = nextIdWords(target);
    if (terminal().live()) {
        redraw(true);
    } else {
        terminal().line(LineKind::Info, nextId_);
    }
}

void StationView::unitIdBound(const UnitIdBinding& binding) {
    if (json()) {
        laneEvent("unit_id_bound", binding.lane).add("how", unitIdHowCode(binding.how)).print();
        return;
    }
    terminal().line(LineKind::Info, "Unit id " +
                                        printableName(binding.lane.unitId, stdoutTakesUtf8()) +
                                        " -> " + laneLabel(binding.lane) + ".");
}

void StationView::unitIdReleased(const LaneTag& lane) {
    if (json()) {
        laneEvent("unit_id_released", lane)
            .add("reason", "the meter left before it was served")
            .print();
        return;
    }
    terminal().line(LineKind::Warning, "Unit id " + printableName(lane.unitId, stdoutTakesUtf8()) +
                                           " let go: the meter on " + laneLabel(lane) +
                                           " left before it was served.");
}

void StationView::operatorChanged(const std::string& name) {
    if (json()) {
        JsonObject().add("event", "operator").addNameOrNull("operator", name).print();
        return;
    }
    terminal().line(LineKind::Info,
                    "Operator: " + printableName(name, stdoutTakesUtf8()) + " from now on.");
}

void StationView::unitIdTyping(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    typing_ = text;
    if (terminal().live() && !terminal().settings().json) {
        redraw(true);
    }
}

void StationView::unitIdRefused(const std::string& id, const std::string& why) {
    if (json()) {
        JsonObject()
            .add("event", "unit_id_refused")
            .addNameOrNull("unit_id", id)
            .add("reason", why)
            .print();
        return;
    }
    const std::string named =
        id.empty() ? "An empty unit id" : "Unit id " + printableName(id, stdoutTakesUtf8());
    terminal().line(LineKind::Warning, named + " refused: " + why + ".");
}

void StationView::unitIdsWaiting(const std::vector<std::string>& ids) {
    if (json()) {
        JsonObject().add("event", "unit_ids_waiting").addNames("unit_ids", ids).print();
        return;
    }
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : ", ") + printableName(id, stdoutTakesUtf8());
    }
    terminal().line(LineKind::Info, ids.empty() ? "No unit id waiting for a meter."
                                                : "Unit ids waiting for a meter: " + text);
}

} // namespace pxr7
