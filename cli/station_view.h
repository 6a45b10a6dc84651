// How the station reaches the person: on a terminal a header with the totals, yield, meters
// per hour and the image's version, then each lane's label and state with, below it, the next
// step in words, redrawn in place and fitted to the terminal as it is resized; otherwise one
// plain line per event; with --json one event per line, each tagged with its lane.
#pragma once

#include "json_writer.h"
#include "lane_board.h"
#include "station.h"
#include "station_pace.h"
#include "station_screen.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pxr7 {

// The lane's label on this terminal: laneLabel, UTF-8 where stdout takes it.
std::string laneLabel(const LaneTag& lane);

// A --json event about a lane: its number, serial number, index, name and unit id.
JsonObject laneEvent(const char* event, const LaneTag& lane);

struct StationViewSettings {
    std::string imageVersion;
    bool laneCounts = false; // each lane's own counts under it
};

class StationView : public StationObserver {
public:
    explicit StationView(StationViewSettings settings);
    ~StationView() override;
    StationView(const StationView&) = delete;
    StationView& operator=(const StationView&) = delete;

    void laneAppeared(const LaneTag& lane) override;
    void laneGone(const LaneTag& lane) override;
    void laneState(const LaneTag& lane, LaneState state) override;
    void laneBlocked(const LaneTag& lane, LaneState state, const std::string& reason) override;
    void meterArrived(const LaneTag& lane, const std::string& version) override;
    void phase(const LaneTag& lane, Phase phase, int attempt) override;
    void progress(const LaneTag& lane, std::int32_t done, std::int32_t total) override;
    void outcome(const LaneTag& lane, const MeterRun& meter, const StationTotals& totals,
                 const std::string& recordProblem) override;
    void verifiedLate(const LaneTag& lane, const std::string& version) override;
    void draining() override;
    void unitIdRefused(const std::string& id, const std::string& why) override;
    void unitIdsWaiting(const std::vector<std::string>& ids) override;
    void unitIdBound(const UnitIdBinding& binding) override;
    void unitIdReleased(const LaneTag& lane) override;
    void unitIdTarget(const UnitIdTarget& target) override;
    void operatorChanged(const std::string& name) override;
    // The unit id being typed, shown under the header while the lanes are redrawn.
    void unitIdTyping(const std::string& text);

    // The lanes as the screen draws them now, labelled, with their counts when asked for.
    std::vector<LaneRow> shownRows();

    // Leaves the lanes' last state on the screen and says how the station ended.
    void finish(const StationResult& result);

private:
    using Clock = std::chrono::steady_clock;

    struct Lane : BoardLane {
        Clock::time_point sendingSince{}, lastRecordAt{};
        std::int32_t shownDone = -1; // the last progress event or plain line
    };

    Lane& laneFor(const LaneTag& tag);
    // Shows the lane's new row: redrawn, or as a plain line saying plain.
    void show(Lane& lane, const std::string& plain);
    void showState(Lane& lane, LaneState state, const std::string& reason);
    std::vector<LaneRow> rows(Clock::time_point now) const;
    ScreenHeader header(Clock::time_point now) const;
    void redraw(bool force);
    void drawNow(std::unique_lock<std::mutex>& lock, bool force);
    // On a live terminal: redraws as time passes (time left, meters per hour) and at once
    // when the terminal is resized.
    void keepDrawing();

    StationViewSettings settings_;
    Clock::time_point started_ = Clock::now();
    StationPace pace_{started_};
    std::mutex mutex_;
    std::map<int, Lane> lanes_;
    StationTotals totals_;
    std::vector<std::string> lastDrawn_;
    std::condition_variable wake_;
    bool finished_ = false;
    bool forceDraw_ = false;  // something changed: draw it now
    bool progressed_ = false; // records came: draw them soon
    std::thread drawer_;
    std::optional<std::string> typing_; // set once unit ids are read key by key
    std::string nextId_;                // where the next unit id goes, in words; "" none
};

} // namespace pxr7
