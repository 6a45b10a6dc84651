#include "station.h"

#include "station_lane.h"

#include <memory>
#include <thread>
#include <vector>

namespace pxr7 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWalkEvery = std::chrono::milliseconds(1000);
constexpr auto kLongestSleep = std::chrono::milliseconds(50);

struct RunningLane {
    std::unique_ptr<StationLane> lane;
    std::thread thread;
};

class Station {
public:
    Station(const StationSettings& settings, const StationStops& stops, StationObserver& observer)
        : shared_(settings, stops, observer) {}

    StationResult run() {
        while (!over()) {
            reapFinishedLanes();
            walkTheBus();
            waitForNextWalk();
        }
        if (shared_.draining() && !shared_.stopNow()) {
            shared_.observer().draining();
        }
        for (RunningLane& running : lanes_) {
            running.thread.join();
        }
        StationResult result;
        result.totals = shared_.totals();
        if (shared_.stopNow()) {
            result.exitCode = shared_.stopExitCode();
        } else if (result.totals.failed > 0) {
            result.exitCode = EXIT_STATION_FAILURES;
        }
        return result;
    }

private:
    bool over() const { return shared_.ending() || shared_.draining(); }

    void reapFinishedLanes() {
        for (auto it = lanes_.begin(); it != lanes_.end();) {
            if (it->lane->finished()) {
                it->thread.join();
                it = lanes_.erase(it);
            } else {
                ++it;
            }
        }
    }

    // A meter lead no lane holds gets one. A lead a lane holds open shows as busy to the walk
    // and is not in it; its lane stays until the lane itself finds the lead gone.
    void walkTheBus() {
        std::lock_guard<std::mutex> lock(shared_.bus().lock());
        for (const BridgeIdentity& found : walkMeterLeads()) {
            bool known = false;
            for (const RunningLane& running : lanes_) {
                known = known || running.lane->isLead(found);
            }
            if (!known) {
                RunningLane running;
                running.lane = std::make_unique<StationLane>(shared_, found, ++lanesSeen_);
                StationLane* lane = running.lane.get();
                running.thread = std::thread([lane] { lane->run(); });
                lanes_.push_back(std::move(running));
            }
        }
    }

    void waitForNextWalk() const {
        const Clock::time_point due = Clock::now() + kWalkEvery;
        while (!over() && Clock::now() < due) {
            std::this_thread::sleep_for(kLongestSleep);
        }
    }

    StationShared shared_;
    std::vector<RunningLane> lanes_;
    int lanesSeen_ = 0;
};

} // namespace

StationResult runStation(const StationSettings& settings, const StationStops& stops,
                         StationObserver& observer) {
    Station station(settings, stops, observer);
    return station.run();
}

} // namespace pxr7
