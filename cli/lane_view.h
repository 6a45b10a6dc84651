// How running upgrades reach the person: one lane per meter, redrawn in place on a terminal
// (a single upgrade is one lane, without the serial number in front); a line per phase and per
// tenth of the records otherwise; or JSON events. Each lane ends on its outcome.
#pragma once

#include "lanes.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pxr7 {

class LaneView : public LanesObserver {
public:
    // tagged: several meters, so every line and event names its lead's serial number.
    LaneView(const std::vector<BridgeReport>& leads, bool tagged);
    ~LaneView() override;

    LaneObserver& lane(std::size_t i) override;
    void laneDone(std::size_t i, const MeterRun& run) override;
    // Leaves the lanes' last state on the screen.
    void finish();

private:
    class Lane;
    struct State {
        std::string serial;
        Phase phase = Phase::Reset;
        std::int32_t done = 0, total = 0;
        int tenth = -1;
        std::chrono::steady_clock::time_point sendingSince{};
        std::string outcome; // once the lane is done
    };

    void phaseChanged(std::size_t i, Phase phase);
    void progressed(std::size_t i, std::int32_t done, std::int32_t total);
    void transferEnded(std::size_t i, const UpgradeOutcome& outcome);
    std::string laneText(const State& state, int width) const;
    void redraw(bool force);
    void plainLine(const State& state, const std::string& text);
    void jsonEvent(const State& state, const char* event, Phase phase);

    bool tagged_;
    std::mutex mutex_;
    std::vector<State> states_;
    std::vector<std::unique_ptr<Lane>> lanes_;
};

} // namespace pxr7
