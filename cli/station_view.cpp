#include "station_view.h"

#include "json_writer.h"
#include "printable.h"
#include "progress_line.h"
#include "terminal.h"

#include <cstdio>

namespace pxr7 {

namespace {

// Progress events and plain lines come at most this many records apart.
constexpr std::int32_t kProgressEvery = 10;

bool json() {
    return terminal().settings().json;
}

JsonObject laneEvent(const char* event, const LaneTag& lane) {
    JsonObject object;
    object.add("event", event)
        .add("lane", lane.number)
        .add("serial", lane.serial)
        .add("index", lane.index);
    return object;
}

const char* stateCode(LaneState state) {
    switch (state) {
    case LaneState::Waiting:
        return "waiting";
    case LaneState::NeedsSetup:
        return "needs_setup";
    case LaneState::SettingUp:
        return "setting_up";
    case LaneState::LeftAlone:
        return "left_alone";
    case LaneState::RemoveMeter:
        return "remove_meter";
    case LaneState::CannotTellApart:
        return "cannot_tell_apart";
    case LaneState::RecordFailing:
        return "record_failing";
    }
    return "";
}

std::string stateText(const LaneTag& lane, LaneState state) {
    switch (state) {
    case LaneState::Waiting:
        return "waiting for a meter";
    case LaneState::NeedsSetup:
        return "needs setup: run pxr7 station --setup, or pxr7 setup --serial " +
               printable(lane.serial);
    case LaneState::SettingUp:
        return "setting up the lead";
    case LaneState::LeftAlone:
        return "left alone: not a usable meter lead";
    case LaneState::RemoveMeter:
        return "remove the meter";
    case LaneState::CannotTellApart:
        return "not served: another lead shows the same serial number and the driver cannot "
               "tell them apart; connect one at a time";
    case LaneState::RecordFailing:
        return "no new meter: the record cannot be written";
    }
    return "";
}

std::string outcomeText(const LaneTag& lane, const MeterRun& meter) {
    const std::string result = resultWord(meter);
    if (meter.exitCode == EXIT_OK) {
        return result + ": " + printable(meter.versionAfter);
    }
    return "failed: " + result + " (if the meter stays in its boot loader: pxr7 upgrade " +
           "--serial " + printable(lane.serial) + ")";
}

std::string attemptText(Phase phase, int attempt) {
    std::string text = phaseLabel(phase);
    return attempt > 1 ? text + " (attempt " + std::to_string(attempt) + ")" : text;
}

} // namespace

StationView::StationView(std::string imageVersion) : imageVersion_(std::move(imageVersion)) {}

std::string StationView::headerText(const StationTotals& totals, double hours,
                                    const std::string& imageVersion) {
    const int finished = totals.ok + totals.current + totals.failed;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", hours > 0 ? finished / hours : 0.0);
    return "Station: " + std::to_string(totals.ok) + " ok, " + std::to_string(totals.current) +
           " current, " + std::to_string(totals.failed) + " failed; " + rate +
           " meters/h; firmware " + printable(imageVersion);
}

void StationView::laneAppeared(const LaneTag& tag) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = lanes_[tag.number];
    lane.tag = tag;
    if (json()) {
        laneEvent("lane_appeared", tag).print();
    }
    show(lane, "looking at the lead", "lead found");
}

void StationView::laneGone(const LaneTag& tag) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = lanes_[tag.number];
    lane.tag = tag;
    if (json()) {
        laneEvent("lane_gone", tag).print();
    }
    show(lane, "", "lead gone");
    lanes_.erase(tag.number);
    if (terminal().live()) {
        redraw(true);
    }
}

void StationView::laneState(const LaneTag& tag, LaneState state) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = lanes_[tag.number];
    lane.tag = tag;
    lane.sending = false;
    if (json()) {
        laneEvent("lane_state", tag).add("state", stateCode(state)).print();
    }
    // A meter's outcome stays in its line until it is taken off.
    const std::string text = stateText(tag, state);
    show(lane, state == LaneState::RemoveMeter ? lane.status + ", " + text : text, text);
}

void StationView::meterArrived(const LaneTag& tag, const std::string& version) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = lanes_[tag.number];
    lane.tag = tag;
    if (json()) {
        laneEvent("meter_arrived", tag).add("version", version).print();
    }
    const std::string text = "meter arrived: " + printable(version);
    show(lane, text, text);
}

void StationView::phase(const LaneTag& tag, Phase phase, int attempt) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = lanes_[tag.number];
    lane.tag = tag;
    lane.sending = phase == Phase::Sending;
    lane.done = 0;
    lane.shownDone = -1;
    lane.sendingSince = std::chrono::steady_clock::now();
    if (json()) {
        laneEvent("phase", tag).add("phase", phaseCode(phase)).add("attempt", attempt).print();
    }
    const std::string text = attemptText(phase, attempt);
    show(lane, text, text);
}

void StationView::progress(const LaneTag& tag, std::int32_t done, std::int32_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = lanes_[tag.number];
    lane.done = done;
    lane.total = total;
    if (terminal().live() && !json()) {
        redraw(false);
        return;
    }
    if (json()) {
        if (done >= lane.shownDone + kProgressEvery || done == total) {
            lane.shownDone = done;
            laneEvent("progress", tag)
                .add("records", static_cast<long long>(done))
                .add("total", static_cast<long long>(total))
                .print();
        }
        return;
    }
    // Plain lines: one per tenth of the records.
    const int tenth = total > 0 ? static_cast<int>(done * 10LL / total) : 10;
    if (tenth != lane.shownDone) {
        lane.shownDone = tenth;
        terminal().line(LineKind::Info, printable(tag.serial) + ": sent " + std::to_string(done) +
                                            " of " + std::to_string(total) + " records (" +
                                            std::to_string(tenth * 10) + "%)");
    }
}

void StationView::outcome(const LaneTag& tag, const MeterRun& meter, const StationTotals& totals,
                          const std::string& recordProblem) {
    std::lock_guard<std::mutex> lock(mutex_);
    totals_ = totals;
    Lane& lane = lanes_[tag.number];
    lane.tag = tag;
    lane.sending = false;
    if (json()) {
        laneEvent("outcome", tag)
            .add("result", resultWord(meter))
            .addTextOrNull("version_before", meter.versionBefore)
            .addTextOrNull("version_after", meter.versionAfter)
            .add("attempts", meter.attempts)
            .add("records", static_cast<long long>(meter.recordsSent))
            .add("total", static_cast<long long>(meter.recordsTotal))
            .add("record_error", recordProblem.empty() ? nullptr : recordProblem.c_str())
            .print();
    } else if (!recordProblem.empty()) {
        terminal().line(LineKind::Error, "pxr7: the record could not be written: " + recordProblem);
    }
    const std::string text = outcomeText(tag, meter);
    show(lane, text, text);
}

void StationView::draining() {
    if (!json()) {
        terminal().line(LineKind::Warning, "Stopping: the upgrades under way finish first. Press "
                                           "Ctrl+C again to stop them now.");
    }
}

void StationView::show(Lane& lane, const std::string& status, const std::string& plain) {
    lane.status = status;
    if (json()) {
        return;
    }
    if (terminal().live()) {
        redraw(true);
        return;
    }
    terminal().line(LineKind::Info, printable(lane.tag.serial) + " (bridge " +
                                        std::to_string(lane.tag.index) + "): " + plain);
}

std::string StationView::laneText(const Lane& lane, int width) const {
    std::string prefix = printable(lane.tag.serial);
    prefix = prefix.size() > 16 ? prefix.substr(0, 16) : prefix;
    prefix.resize(17, ' ');
    const int room = width - static_cast<int>(prefix.size());
    if (!lane.sending) {
        return (prefix + lane.status).substr(0, static_cast<std::size_t>(std::max(width, 0)));
    }
    ProgressFigures figures;
    figures.done = lane.done;
    figures.total = lane.total;
    figures.secondsSending =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - lane.sendingSince).count();
    return prefix + formatProgressLine(figures, room + 1);
}

void StationView::redraw(bool force) {
    const double hours =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count() / 3600.0;
    const int width = terminal().laneWidth();
    std::vector<std::string> lines{headerText(totals_, hours, imageVersion_)};
    for (const auto& entry : lanes_) {
        lines.push_back(laneText(entry.second, width));
    }
    terminal().drawLanes(lines, force);
}

void StationView::finish(const StationResult& result) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        totals_ = result.totals;
        if (terminal().live() && !json()) {
            redraw(true);
        }
    }
    terminal().endLanes();
    if (json()) {
        JsonObject()
            .add("event", "result")
            .add("command", "station")
            .add("exit_code", result.exitCode)
            .add("error", result.exitCode == EXIT_OK ? nullptr : errorWordFor(result.exitCode))
            .add("ok", result.totals.ok)
            .add("current", result.totals.current)
            .add("failed", result.totals.failed)
            .print();
        return;
    }
    const double hours =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count() / 3600.0;
    terminal().line(LineKind::Result, headerText(result.totals, hours, imageVersion_));
}

} // namespace pxr7
