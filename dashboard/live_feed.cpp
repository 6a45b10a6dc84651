#include "live_feed.h"

#include "exit_codes.h"
#include "lane_words.h"
#include "record.h"

#include <cmath>
#include <cstdio>
#include <random>

namespace pxr7 {

namespace {

// The lane's name as typed, for a page that shows text as text; else the words' label.
JsonValue labelOf(const LaneTag& tag) {
    return tag.name.empty() ? jsonText(laneLabel(tag, true)) : jsonName(tag.name);
}

// Progress events come at most this many records apart, as in the --json events.
constexpr std::int32_t kProgressEvery = 10;

std::string newRunToken() {
    std::random_device random;
    char token[16];
    std::snprintf(token, sizeof token, "%08x", static_cast<unsigned>(random()));
    return token;
}

JsonValue countsJson(const StationTotals& counts) {
    JsonValue json = JsonValue::object();
    json["ok"] = counts.ok;
    json["current"] = counts.current;
    json["failed"] = counts.failed;
    return json;
}

JsonValue optionalNumber(const std::optional<double>& value, double unit) {
    return value ? JsonValue(std::round(*value / unit) * unit) : JsonValue(nullptr);
}

double secondsSince(LiveFeed::Clock::time_point since, LiveFeed::Clock::time_point now) {
    return std::chrono::duration<double>(now - since).count();
}

// From the rate so far; unknown before the first record.
JsonValue secondsLeft(std::int32_t done, std::int32_t total, double seconds) {
    if (done <= 0 || total <= done || seconds <= 0) {
        return total > 0 && done >= total ? JsonValue(0) : JsonValue(nullptr);
    }
    return std::round((total - done) * seconds / done * 10) / 10;
}

// A meter's result as the page says it; a failure in the exit-code table's words.
const char* resultWordsOf(const MeterRun& meter) {
    switch (meter.outcome()) {
    case MeterOutcome::Ok:
        return "ok";
    case MeterOutcome::Current:
        return "already current";
    case MeterOutcome::Failed:
    case MeterOutcome::Stopped:
        break;
    }
    return wordsFor(meter.code());
}

} // namespace

LiveFeed::LiveFeed(LiveFeedSettings settings)
    : settings_(std::move(settings)), run_(newRunToken()), started_(utcNow()) {}

void LiveFeed::onEvent(std::function<void()> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

LiveFeed::Tile& LiveFeed::tileFor(const LaneTag& tag) {
    Tile& tile = tiles_[tag.number];
    tile.tag = tag;
    return tile;
}

void LiveFeed::laneAppeared(const LaneTag& tag) {
    std::unique_lock<std::mutex> lock(mutex_);
    Tile& tile = tileFor(tag);
    boardAppeared(tile);
    publish(lock, "lane_appeared", laneEvent("lane_appeared", tile));
}

void LiveFeed::laneGone(const LaneTag& tag) {
    std::unique_lock<std::mutex> lock(mutex_);
    tiles_.erase(tag.number);
    JsonValue event = JsonValue::object();
    event["event"] = "lane_gone";
    event["lane"] = tag.number;
    event["serial"] = jsonText(tag.serial);
    event["index"] = tag.index;
    publish(lock, "lane_gone", std::move(event));
}

void LiveFeed::laneState(const LaneTag& tag, LaneState state) {
    setState(tag, state, "");
}

void LiveFeed::laneBlocked(const LaneTag& tag, LaneState state, const std::string& reason) {
    setState(tag, state, reason);
}

void LiveFeed::setState(const LaneTag& tag, LaneState state, const std::string& reason) {
    std::unique_lock<std::mutex> lock(mutex_);
    Tile& tile = tileFor(tag);
    boardState(tile, state, reason);
    tile.state = laneStateCode(state);
    tile.phase.reset();
    JsonValue event = laneEvent("lane_state", tile);
    event["state"] = tile.state;
    event["reason"] = jsonTextOrNull(reason);
    publish(lock, "lane_state", std::move(event));
}

void LiveFeed::meterArrived(const LaneTag& tag, const std::string& version) {
    std::unique_lock<std::mutex> lock(mutex_);
    Tile& tile = tileFor(tag);
    boardArrived(tile, version);
    tile.state = "meter_arrived";
    tile.phase.reset();
    tile.records = tile.total = 0;
    JsonValue event = laneEvent("meter_arrived", tile);
    event["version"] = jsonText(version);
    publish(lock, "meter_arrived", std::move(event));
}

void LiveFeed::phase(const LaneTag& tag, Phase phase, int attempt) {
    std::unique_lock<std::mutex> lock(mutex_);
    Tile& tile = tileFor(tag);
    boardPhase(tile, phase, attempt);
    tile.state = "running";
    tile.phase = phase;
    tile.attempt = attempt;
    tile.records = 0;
    tile.sendingSince = Clock::now();
    JsonValue event = laneEvent("phase", tile);
    event["phase"] = phaseCode(phase);
    event["attempt"] = attempt;
    publish(lock, "phase", std::move(event));
}

void LiveFeed::progress(const LaneTag& tag, std::int32_t done, std::int32_t total) {
    std::unique_lock<std::mutex> lock(mutex_);
    Tile& tile = tileFor(tag);
    const bool first = tile.records == 0 && done > 0;
    if (first) {
        // The first record: the bar starts moving, and the rate is told from here on.
        tile.sendingSince = Clock::now();
    }
    if (!first && done < tile.records + kProgressEvery && (done != total || done == tile.records)) {
        return;
    }
    tile.records = done;
    tile.total = total;
    JsonValue event = laneEvent("progress", tile);
    event["records"] = done;
    event["total"] = total;
    publish(lock, "progress", std::move(event));
}

void LiveFeed::outcome(const LaneTag& tag, const MeterRun& meter, const StationTotals& totals,
                       const std::string& recordProblem) {
    std::unique_lock<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    totals_ = totals;
    pace_.finished(meter.outcome(), now);
    Tile& tile = tileFor(tag);
    boardOutcome(tile, meter);
    tile.state = "outcome";
    tile.phase.reset();
    JsonValue outcome = JsonValue::object();
    outcome["lane"] = tag.number;
    outcome["label"] = labelOf(tag);
    outcome["unit_id"] = jsonNameOrNull(tag.unitId);
    outcome["result"] = resultWord(meter);
    outcome["result_words"] = resultWordsOf(meter);
    outcome["version_before"] = jsonTextOrNull(meter.versionBefore);
    outcome["version_after"] = jsonTextOrNull(meter.versionAfter);
    outcome["attempts"] = meter.attempts;
    outcome["records"] = meter.recordsSent;
    outcome["total"] = meter.recordsTotal;
    outcome["finished"] = utcNow();
    outcome["record_error"] = jsonTextOrNull(recordProblem);
    tile.last = outcome;
    outcomes_.push_back(outcome);
    if (outcomes_.size() > settings_.keptOutcomes) {
        outcomes_.pop_front();
    }
    JsonValue event = laneEvent("outcome", tile);
    for (const char* key : {"result", "result_words", "version_before", "version_after", "attempts",
                            "records", "total", "record_error"}) {
        event[key] = outcome[key];
    }
    event["outcome"] = outcome;
    event["header"] = headerJson(now);
    lastHeader_ = jsonLine(event["header"]);
    publish(lock, "outcome", std::move(event));
}

void LiveFeed::finish(const StationResult& result) {
    std::unique_lock<std::mutex> lock(mutex_);
    totals_ = result.totals;
    ended_ = true;
    endedAt_ = utcNow();
    endedOutcome_ = result.outcome;
    JsonValue event = JsonValue::object();
    event["event"] = "station_ended";
    event["header"] = headerJson(Clock::now());
    publish(lock, "station_ended", std::move(event));
}

void LiveFeed::tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ended_) {
        return;
    }
    JsonValue header = headerJson(Clock::now());
    std::string line = jsonLine(header);
    if (line == lastHeader_) {
        return;
    }
    lastHeader_ = std::move(line);
    JsonValue event = JsonValue::object();
    event["event"] = "header";
    event["header"] = std::move(header);
    publish(lock, "header", std::move(event));
}

bool LiveFeed::ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

void LiveFeed::publish(std::unique_lock<std::mutex>& lock, const char* name, JsonValue data) {
    FeedEvent event;
    event.number = ++lastNumber_;
    event.name = name;
    event.data = jsonLine(data);
    events_.push_back(std::move(event));
    if (events_.size() > settings_.keptEvents) {
        events_.pop_front();
    }
    const std::function<void()> listener = listener_;
    lock.unlock();
    if (listener) {
        listener();
    }
}

JsonValue LiveFeed::laneEvent(const char* name, const Tile& tile) const {
    JsonValue event = JsonValue::object();
    event["event"] = name;
    event["lane"] = tile.tag.number;
    event["serial"] = jsonText(tile.tag.serial);
    event["index"] = tile.tag.index;
    event["lane_name"] = jsonNameOrNull(tile.tag.name);
    event["unit_id"] = jsonNameOrNull(tile.tag.unitId);
    event["tile"] = tileJson(tile, Clock::now());
    return event;
}

JsonValue LiveFeed::tileJson(const Tile& tile, Clock::time_point now) const {
    JsonValue json = JsonValue::object();
    json["lane"] = tile.tag.number;
    json["serial"] = jsonText(tile.tag.serial);
    json["index"] = tile.tag.index;
    json["location"] =
        tile.tag.location ? JsonValue(locationText(*tile.tag.location)) : JsonValue(nullptr);
    json["lane_name"] = jsonNameOrNull(tile.tag.name);
    json["unit_id"] = jsonNameOrNull(tile.tag.unitId);
    json["label"] = labelOf(tile.tag);
    json["state"] = tile.state;
    json["phase"] = tile.phase ? JsonValue(phaseCode(*tile.phase)) : JsonValue(nullptr);
    json["attempt"] = tile.attempt;
    json["records"] = tile.records;
    json["total"] = tile.total;
    json["seconds_left"] =
        tile.phase == Phase::Sending
            ? secondsLeft(tile.records, tile.total, secondsSince(tile.sendingSince, now))
            : JsonValue(nullptr);
    json["words"] = jsonText(tile.row.state);
    json["next"] = jsonText(tile.row.next);
    json["tone"] = laneToneWord(tile.row.tone);
    json["last"] = tile.last;
    json["counts"] = countsJson(tile.counts);
    return json;
}

JsonValue LiveFeed::headerJson(Clock::time_point now) const {
    JsonValue json = JsonValue::object();
    json["bench"] = jsonName(settings_.bench);
    json["host"] = jsonText(settings_.host);
    json["image_version"] = jsonTextOrNull(settings_.imageVersion);
    json["image_sha256"] = settings_.imageSha256;
    json["image_standin"] = !settings_.imageNotice.empty();
    json["image_notice"] = jsonTextOrNull(settings_.imageNotice);
    json["started"] = started_;
    json["totals"] = countsJson(totals_);
    json["yield"] = optionalNumber(pace_.yield(), 0.001);
    json["meters_per_hour"] = optionalNumber(pace_.metersPerHour(now), 0.1);
    json["ended"] = ended_;
    json["ended_at"] = ended_ ? JsonValue(endedAt_) : JsonValue(nullptr);
    json["exit_code"] = endedOutcome_ ? JsonValue(exitCodeOf(*endedOutcome_)) : JsonValue(nullptr);
    json["exit_words"] = endedOutcome_ ? JsonValue(wordsFor(*endedOutcome_)) : JsonValue(nullptr);
    return json;
}

JsonValue LiveFeed::snapshotJson() {
    const Clock::time_point now = Clock::now();
    JsonValue json = JsonValue::object();
    json["schema"] = 1;
    json["header"] = headerJson(now);
    json["lanes"] = JsonValue::array();
    for (const auto& entry : tiles_) {
        json["lanes"].push_back(tileJson(entry.second, now));
    }
    json["outcomes"] = JsonValue::array();
    for (const JsonValue& outcome : outcomes_) {
        json["outcomes"].push_back(outcome);
    }
    json["last_event_id"] = eventId(lastNumber_);
    return json;
}

std::string LiveFeed::eventId(std::uint64_t number) const {
    return run_ + "." + std::to_string(number);
}

std::string LiveFeed::snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return jsonLine(snapshotJson());
}

FeedBatch LiveFeed::start(const std::string& lastEventId) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string prefix = run_ + ".";
    if (lastEventId.compare(0, prefix.size(), prefix) == 0) {
        const std::string digits = lastEventId.substr(prefix.size());
        char* end = nullptr;
        const unsigned long long seen = std::strtoull(digits.c_str(), &end, 10);
        const std::uint64_t oldest = events_.empty() ? lastNumber_ + 1 : events_.front().number;
        if (!digits.empty() && *end == '\0' && seen <= lastNumber_ && seen + 1 >= oldest) {
            FeedBatch batch;
            batch.next = seen;
            return batch;
        }
    }
    return snapshotBatch();
}

// A fresh start: the whole state as it is, then what comes after it.
FeedBatch LiveFeed::snapshotBatch() {
    JsonValue snapshot = snapshotJson();
    snapshot["event"] = "snapshot";
    FeedBatch batch;
    batch.next = lastNumber_;
    batch.events.push_back({lastNumber_, "snapshot", jsonLine(snapshot)});
    return batch;
}

FeedBatch LiveFeed::after(std::uint64_t number, std::size_t maxBehind) {
    std::lock_guard<std::mutex> lock(mutex_);
    FeedBatch batch;
    batch.next = number;
    const std::uint64_t oldest = events_.empty() ? lastNumber_ + 1 : events_.front().number;
    if (lastNumber_ - number > maxBehind || number + 1 < oldest) {
        batch = snapshotBatch();
        batch.lagging = true;
        return batch;
    }
    for (auto it = events_.begin() + static_cast<std::ptrdiff_t>(number + 1 - oldest);
         it != events_.end(); ++it) {
        batch.events.push_back(*it);
    }
    batch.next = lastNumber_;
    return batch;
}

} // namespace pxr7
