#include "station_view.h"

#include "bridge_texts.h"
#include "json_writer.h"
#include "lane_words.h"
#include "lead_command.h"
#include "messages.h"
#include "printable.h"
#include "terminal.h"
#include "terminal_caps.h"
#include "utf8.h"

#include <cstdlib>
#include <utility>

namespace pxr7 {

namespace {

using Clock = std::chrono::steady_clock;

// Progress events and plain lines come at most this many records apart.
constexpr std::int32_t kProgressEvery = 10;
// How often a live screen is looked at again: a resize shows within this, time left and
// meters per hour move with it.
constexpr auto kDrawEvery = std::chrono::milliseconds(250);
// While records come, the screen is drawn at most this often, as the terminal would anyway.
constexpr auto kProgressDrawEvery = std::chrono::milliseconds(40);

bool json() {
    return terminal().settings().json;
}

// The terminal shows colour unless the person asked for none (https://no-color.org).
bool colourWanted() {
    const char* noColour = std::getenv("NO_COLOR");
    return noColour == nullptr || *noColour == '\0';
}

} // namespace

std::string laneLabel(const LaneTag& lane) {
    return laneLabel(lane, stdoutTakesUtf8());
}

JsonObject laneEvent(const char* event, const LaneTag& lane) {
    JsonObject object;
    object.add("event", event)
        .add("lane", lane.number)
        .add("serial", lane.serial)
        .add("index", lane.index)
        .addNameOrNull("lane_name", lane.name)
        .addNameOrNull("unit_id", lane.unitId);
    return object;
}

StationView::StationView(StationViewSettings settings) : settings_(std::move(settings)) {
    if (terminal().live() && !json()) {
        watchTerminalSize();
        drawer_ = std::thread([this] { keepDrawing(); });
    }
}

StationView::~StationView() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    wake_.notify_all();
    if (drawer_.joinable()) {
        drawer_.join();
    }
}

StationView::Lane& StationView::laneFor(const LaneTag& tag) {
    Lane& lane = lanes_[tag.number];
    lane.tag = tag;
    return lane;
}

void StationView::laneAppeared(const LaneTag& tag) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = laneFor(tag);
    if (json()) {
        laneEvent("lane_appeared", tag).print();
    }
    boardAppeared(lane);
    show(lane, "lead found");
}

void StationView::laneGone(const LaneTag& tag) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = laneFor(tag);
    if (json()) {
        laneEvent("lane_gone", tag).print();
    } else if (!terminal().live()) {
        show(lane, "lead gone");
    }
    lanes_.erase(tag.number);
    if (terminal().live() && !json()) {
        redraw(true);
    }
}

void StationView::laneState(const LaneTag& tag, LaneState state) {
    std::lock_guard<std::mutex> lock(mutex_);
    showState(laneFor(tag), state, "");
}

void StationView::laneBlocked(const LaneTag& tag, LaneState state, const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    showState(laneFor(tag), state, reason);
}

void StationView::showState(Lane& lane, LaneState state, const std::string& reason) {
    if (json()) {
        laneEvent("lane_state", lane.tag)
            .add("state", laneStateCode(state))
            .add("reason", reason.empty() ? nullptr : reason.c_str())
            .print();
    }
    boardState(lane, state, reason);
    // The last meter's outcome stays beside "waiting" on the terminal.
    if (state == LaneState::Waiting && !lane.lastOutcome.empty()) {
        lane.row.state += " (last: " + lane.lastOutcome + ")";
    }
    if (state == LaneState::OutOfService) {
        terminal().bell();
    }
    const LaneRow& row = lane.row;
    show(lane, row.next.empty() ? row.state : row.state + " - " + row.next);
}

void StationView::meterArrived(const LaneTag& tag, const std::string& version) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = laneFor(tag);
    if (json()) {
        laneEvent("meter_arrived", tag).add("version", version).print();
    }
    boardArrived(lane, version);
    show(lane, lane.row.state);
}

void StationView::phase(const LaneTag& tag, Phase phase, int attempt) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = laneFor(tag);
    boardPhase(lane, phase, attempt);
    lane.shownDone = -1;
    lane.sendingSince = lane.lastRecordAt = Clock::now();
    if (json()) {
        laneEvent("phase", tag).add("phase", phaseCode(phase)).add("attempt", attempt).print();
    }
    show(lane, lane.row.state);
}

void StationView::progress(const LaneTag& tag, std::int32_t done, std::int32_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = laneFor(tag);
    if (done != lane.row.progress.done) {
        lane.lastRecordAt = Clock::now();
    }
    lane.row.progress.done = done;
    lane.row.progress.total = total;
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
    if (total > 0 && tenth != lane.shownDone) {
        lane.shownDone = tenth;
        terminal().line(LineKind::Info, laneLabel(tag) + ": sent " + std::to_string(done) + " of " +
                                            std::to_string(total) + " records (" +
                                            std::to_string(tenth * 10) + "%)");
    }
}

void StationView::outcome(const LaneTag& tag, const MeterRun& meter, const StationTotals& totals,
                          const std::string& recordProblem) {
    std::lock_guard<std::mutex> lock(mutex_);
    totals_ = totals;
    pace_.finished(meter.outcome(), Clock::now());
    Lane& lane = laneFor(tag);
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
    boardOutcome(lane, meter);
    if (meter.outcome() == MeterOutcome::Failed) {
        terminal().bell();
    }
    show(lane, lane.row.next.empty() ? lane.row.state : lane.row.state + ": " + lane.row.next);
}

void StationView::verifiedLate(const LaneTag& tag, const std::string& version) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = laneFor(tag);
    if (json()) {
        laneEvent("meter_verified_late", tag).add("version", version).print();
    }
    boardVerifiedLate(lane, version);
    show(lane, lane.row.state + ": " + lane.row.next);
}

void StationView::draining() {
    if (!json()) {
        terminal().line(LineKind::Warning, "Stopping: the upgrades under way finish first. Press "
                                           "Ctrl+C again to stop them now.");
    }
}

void StationView::show(Lane& lane, const std::string& plain) {
    if (json()) {
        return;
    }
    if (terminal().live()) {
        redraw(true);
        return;
    }
    terminal().line(LineKind::Info, laneLabel(lane.tag) + " (bridge " +
                                        std::to_string(lane.tag.index) + "): " + plain);
}

std::vector<LaneRow> StationView::rows(Clock::time_point now) const {
    std::map<std::string, int> labels;
    for (const auto& entry : lanes_) {
        ++labels[laneLabel(entry.second.tag)];
    }
    std::vector<LaneRow> rows;
    for (const auto& entry : lanes_) {
        const Lane& lane = entry.second;
        LaneRow row = lane.row;
        row.label = laneLabel(lane.tag);
        // Two leads with one serial number are told apart by where they are.
        if (labels[row.label] > 1 && !lane.tag.serial.empty()) {
            row.label += " #" + std::to_string(lane.tag.index);
        }
        if (!lane.tag.unitId.empty()) {
            row.label += " " + printableName(lane.tag.unitId, stdoutTakesUtf8());
        }
        row.progress.secondsSending =
            std::chrono::duration<double>(now - lane.sendingSince).count();
        row.progress.secondsQuiet = std::chrono::duration<double>(now - lane.lastRecordAt).count();
        if (settings_.laneCounts) {
            row.counts = countsText(lane.counts);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<LaneRow> StationView::shownRows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows(Clock::now());
}

ScreenHeader StationView::header(Clock::time_point now) const {
    ScreenHeader header;
    header.totals = totals_;
    header.yield = pace_.yield();
    header.metersPerHour = pace_.metersPerHour(now);
    header.imageVersion = printable(settings_.imageVersion);
    if (typing_) {
        header.typing = printable(*typing_) + "_";
    }
    header.nextId = nextId_;
    return header;
}

// Asks the drawing thread for a redraw: no lane's thread writes to the terminal, so a terminal
// slow to take output (a paused one, a slow link) never holds up a transfer's callbacks.
void StationView::redraw(bool force) {
    (force ? forceDraw_ : progressed_) = true;
    wake_.notify_one();
}

// Composed under the view's lock, written without it.
void StationView::drawNow(std::unique_lock<std::mutex>& lock, bool force) {
    const Clock::time_point now = Clock::now();
    ScreenSize size;
    size.columns = terminal().laneWidth() + 1;
    // The block leaves the terminal's top row alone (Terminal::rows).
    size.rows = terminal().rows() > 2 ? terminal().rows() - 1 : 1000;
    size.colour = colourWanted();
    std::vector<std::string> lines = composeStationScreen(header(now), rows(now), size);
    if (!force && lines == lastDrawn_) {
        return;
    }
    lastDrawn_ = lines;
    lock.unlock();
    terminal().drawLanes(lines, force);
    lock.lock();
}

void StationView::keepDrawing() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!finished_) {
        wake_.wait_for(lock, kDrawEvery, [this] { return finished_ || forceDraw_ || progressed_; });
        if (finished_) {
            break;
        }
        const bool force = std::exchange(forceDraw_, false) || tookResize();
        const bool progressOnly = !force && std::exchange(progressed_, false);
        drawNow(lock, force);
        if (progressOnly) {
            // Records come faster than a screen is worth redrawing: the next one waits a while,
            // unless something else changes.
            wake_.wait_for(lock, kProgressDrawEvery, [this] { return finished_ || forceDraw_; });
        }
    }
}

void StationView::finish(const StationResult& result) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        totals_ = result.totals;
        finished_ = true;
    }
    wake_.notify_all();
    if (drawer_.joinable()) {
        drawer_.join();
    }
    if (terminal().live() && !json()) {
        std::unique_lock<std::mutex> lock(mutex_);
        drawNow(lock, true);
    }
    terminal().endLanes();
    if (json()) {
        JsonObject()
            .add("event", "result")
            .add("command", "station")
            .add("exit_code", exitCodeOf(result.outcome))
            .add("error", result.outcome == Outcome::Ok ? nullptr : errorWordFor(result.outcome))
            .add("ok", result.totals.ok)
            .add("current", result.totals.current)
            .add("failed", result.totals.failed)
            .print();
        return;
    }
    terminal().line(LineKind::Result, stationHeaderLine(header(Clock::now())));
    if (settings_.laneCounts) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const LaneRow& row : rows(Clock::now())) {
            terminal().line(LineKind::Result, "  " + row.label + ": " + row.counts);
        }
    }
}

} // namespace pxr7
