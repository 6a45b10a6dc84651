// How the station reaches the person: on a terminal a header with the totals, meters per hour
// and the image's version, then one line per lane, redrawn in place; otherwise one plain line
// per event; with --json one event per line, each tagged with its lane.
#pragma once

#include "station.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

class StationView : public StationObserver {
public:
    explicit StationView(std::string imageVersion);

    void laneAppeared(const LaneTag& lane) override;
    void laneGone(const LaneTag& lane) override;
    void laneState(const LaneTag& lane, LaneState state) override;
    void meterArrived(const LaneTag& lane, const std::string& version) override;
    void phase(const LaneTag& lane, Phase phase, int attempt) override;
    void progress(const LaneTag& lane, std::int32_t done, std::int32_t total) override;
    void outcome(const LaneTag& lane, const MeterRun& meter, const StationTotals& totals,
                 const std::string& recordProblem) override;
    void draining() override;
    void unitIdRefused(const std::string& id, const std::string& why) override;
    void unitIdsWaiting(const std::vector<std::string>& ids) override;
    // The unit id being typed, shown under the header while the lanes are redrawn.
    void unitIdTyping(const std::string& text);

    // Leaves the lanes' last state on the screen and says how the station ended.
    void finish(const StationResult& result);

    // The header line: totals, meters per hour and the image's version.
    static std::string headerText(const StationTotals& totals, double hours,
                                  const std::string& imageVersion);

private:
    struct Lane {
        LaneTag tag;
        std::string status; // what the lane shows when no transfer runs
        bool sending = false;
        std::int32_t done = 0, total = 0;
        std::int32_t shownDone = -1; // the last progress event or plain line
        std::chrono::steady_clock::time_point sendingSince{};
    };

    // Shows a lane's new status: redrawn, a plain line, or the JSON event given.
    void show(Lane& lane, const std::string& status, const std::string& plain);
    std::string laneText(const Lane& lane, int width) const;
    void redraw(bool force);

    std::string imageVersion_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::map<int, Lane> lanes_;
    StationTotals totals_;
    std::optional<std::string> typing_; // set once unit ids are read key by key
};

} // namespace pxr7
