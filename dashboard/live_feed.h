// The station as the dashboard shows it: a StationObserver that keeps each lane's tile, the
// header and the run's outcomes, and numbers every change as an event for the pages' event
// streams. Lanes only take a short lock here and never wait for a browser: the server pulls
// the events at its own pace, and a client that falls too far behind gets the whole state
// afresh (a snapshot event) and goes on from there.
#pragma once

#include "json_text.h"
#include "lane_board.h"
#include "station.h"
#include "station_pace.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

struct LiveFeedSettings {
    std::string bench; // the bench's name in its record lines
    std::string host;
    std::string imageVersion;
    std::string imageSha256;
    // The program's own warning when its image is the repository's stand-in, not the meter's
    // real firmware; "" for a real image.
    std::string imageNotice;
    std::size_t keptEvents = 4096;   // for clients that come back after a dropped connection
    std::size_t keptOutcomes = 1000; // in the snapshot
};

struct FeedEvent {
    std::uint64_t number = 0;
    std::string name; // "lane_state", "outcome", ...
    std::string data; // one JSON object, with "event": name
};

// What a client gets next.
struct FeedBatch {
    std::vector<FeedEvent> events;
    std::uint64_t next = 0; // the number to ask after next time
    bool lagging = false;   // the client fell more than maxBehind events behind: events holds
                            // a snapshot instead of what it missed
};

class LiveFeed : public StationObserver {
public:
    using Clock = std::chrono::steady_clock;

    explicit LiveFeed(LiveFeedSettings settings);

    void laneAppeared(const LaneTag& lane) override;
    void laneGone(const LaneTag& lane) override;
    void laneState(const LaneTag& lane, LaneState state) override;
    void laneBlocked(const LaneTag& lane, LaneState state, const std::string& reason) override;
    void meterArrived(const LaneTag& lane, const std::string& version) override;
    void phase(const LaneTag& lane, Phase phase, int attempt) override;
    void progress(const LaneTag& lane, std::int32_t done, std::int32_t total) override;
    void outcome(const LaneTag& lane, const MeterRun& meter, const StationTotals& totals,
                 const std::string& recordProblem) override;
    // The station has ended: the last event.
    void finish(const StationResult& result);
    // Sends the header again when the time has moved its figures (meters per hour).
    void tick();

    // Called, without the feed's lock, after each new event: the server wakes its clients.
    void onEvent(std::function<void()> listener);

    // The id a client sends back to resume after an event: "<run>.<number>".
    std::string eventId(std::uint64_t number) const;
    // The whole state as JSON (GET /api/snapshot).
    std::string snapshot();
    // Where a client starts: after the event lastEventId names, when it is of this run and
    // still kept; otherwise (none, another run's, too old) with a snapshot event.
    FeedBatch start(const std::string& lastEventId);
    // The events after number `after`; when more than maxBehind wait, or some are no longer
    // kept, a snapshot event instead (lagging).
    FeedBatch after(std::uint64_t after, std::size_t maxBehind);
    bool ended();

private:
    struct Tile : BoardLane {
        std::string state = "looking";
        std::optional<Phase> phase;
        int attempt = 1;
        std::int32_t records = 0, total = 0;
        Clock::time_point sendingSince{};
        JsonValue last; // the last outcome, null before one
    };

    Tile& tileFor(const LaneTag& tag);
    void setState(const LaneTag& tag, LaneState state, const std::string& reason);
    JsonValue tileJson(const Tile& tile, Clock::time_point now) const;
    JsonValue headerJson(Clock::time_point now) const;
    JsonValue snapshotJson();
    FeedBatch snapshotBatch();
    JsonValue laneEvent(const char* name, const Tile& tile) const;
    // Numbers the event and keeps it; then tells the listener, outside the lock.
    void publish(std::unique_lock<std::mutex>& lock, const char* name, JsonValue data);

    LiveFeedSettings settings_;
    std::string run_;
    std::string started_;
    Clock::time_point startedAt_ = Clock::now();
    StationPace pace_{startedAt_};
    std::mutex mutex_;
    std::map<int, Tile> tiles_;
    StationTotals totals_;
    std::deque<JsonValue> outcomes_;
    std::deque<FeedEvent> events_;
    std::uint64_t lastNumber_ = 0;
    std::string lastHeader_;
    bool ended_ = false;
    std::string endedAt_;
    std::optional<Outcome> endedOutcome_;
    std::function<void()> listener_;
};

} // namespace pxr7
