#include "station.h"

#include "station_lane.h"
#include "unit_scan.h"

#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace pxr7 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWalkEvery = std::chrono::milliseconds(1000);
constexpr auto kLongestSleep = std::chrono::milliseconds(50);
constexpr int kTwinWalksRemembered = 3;

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
            lapseLaneScan();
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
            result.outcome = shared_.stopOutcome();
        } else if (shared_.recordFailing()) {
            result.outcome = Outcome::RecordFailed;
            result.recordProblem = shared_.ledger().lastProblem();
        } else if (result.totals.failed > 0) {
            result.outcome = Outcome::StationFailures;
        }
        return result;
    }

private:
    // Ending covers a record that cannot be written: the station ends once the meters under
    // way are done.
    bool over() const { return shared_.ending() || shared_.draining(); }

    // A fixture scan no id followed is dropped in time, and the screen says so.
    void lapseLaneScan() {
        UnitIds* ids = shared_.settings().unitIds;
        if (ids != nullptr) {
            tellUnitIdNews(shared_.observer(), ids->lapse(Clock::now()), ids->waiting());
        }
    }

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
    // and is not in it; its lane stays until the lane itself finds the lead gone. Leads that
    // cannot be told apart get a lane that only shows them.
    void walkTheBus() {
        std::vector<BridgeIdentity> twins;
        std::vector<UnopenedBridge> unopened;
        {
            std::lock_guard<std::mutex> lock(shared_.bus().lock());
            for (const BridgeIdentity& found : walkMeterLeads(shared_.bus(), unopened)) {
                if (cannotTellApart(found)) {
                    twins.push_back(found);
                } else if (!known(found) && !shared_.isTwinSerial(found.serialNumber)) {
                    startLane(found);
                }
            }
        }
        showTwins(twins);
        showUnopened(unopened);
    }

    // A bridge nobody could open for two walks in a row is shown with why and what to do: it
    // may be a meter lead the station cannot use. One held for a moment is not worth a lane.
    void showUnopened(const std::vector<UnopenedBridge>& found) {
        std::map<std::pair<int, std::uint32_t>, UnopenedLane> now;
        for (const UnopenedBridge& bridge : found) {
            if (laneAt(bridge)) {
                continue; // its own lane says it is held
            }
            const auto key = std::make_pair(bridge.index, bridge.location.value_or(0));
            UnopenedLane lane;
            const auto was = unopened_.find(key);
            if (was != unopened_.end()) {
                lane = was->second;
            }
            if (++lane.walks == 2 || (lane.walks > 2 && lane.reason != bridge.reason)) {
                if (lane.tag.number == 0) {
                    lane.tag.number = ++lanesSeen_;
                    lane.tag.index = bridge.index;
                    lane.tag.location = bridge.location;
                    // Named where the bench file names its place: "Fixture D", not "bridge 4".
                    lane.tag.name = laneNameFor(shared_.settings().bench, "", bridge.location);
                    shared_.observer().laneAppeared(lane.tag);
                }
                shared_.observer().laneBlocked(lane.tag, LaneState::CannotOpen, bridge.reason);
            }
            lane.reason = bridge.reason;
            now[key] = lane;
        }
        for (const auto& [key, lane] : unopened_) {
            if (now.count(key) == 0 && lane.tag.number != 0) {
                shared_.observer().laneGone(lane.tag);
            }
        }
        unopened_ = std::move(now);
    }

    // Whether a lane's lead sits where the bridge does: the same location where both are
    // known, else the same index.
    bool laneAt(const UnopenedBridge& bridge) {
        std::lock_guard<std::mutex> lock(shared_.bus().lock());
        for (const RunningLane& running : lanes_) {
            if (running.lane->sitsAt(bridge.index, bridge.location)) {
                return true;
            }
        }
        return false;
    }

    bool known(const BridgeIdentity& found) const {
        for (const RunningLane& running : lanes_) {
            if (running.lane->isLead(found)) {
                return true;
            }
        }
        return false;
    }

    void startLane(const BridgeIdentity& found) {
        RunningLane running;
        running.lane = std::make_unique<StationLane>(shared_, found, ++lanesSeen_);
        StationLane* lane = running.lane.get();
        running.thread = std::thread([lane] { lane->run(); });
        lanes_.push_back(std::move(running));
    }

    // A serial number stays a twin's until walks in a row have not seen it shared: a twin
    // held open by someone is missing from a walk.
    void showTwins(const std::vector<BridgeIdentity>& found) {
        std::set<std::string> serials;
        for (const BridgeIdentity& twin : found) {
            serials.insert(twin.serialNumber);
            twinWalks_[twin.serialNumber] = kTwinWalksRemembered;
        }
        for (auto it = twinWalks_.begin(); it != twinWalks_.end();) {
            if (serials.count(it->first) == 0 && --it->second <= 0) {
                it = twinWalks_.erase(it);
            } else {
                serials.insert(it->first);
                ++it;
            }
        }
        shared_.setTwinSerials(serials);
        showTwinLanes(found);
    }

    void showTwinLanes(const std::vector<BridgeIdentity>& found) {
        std::map<std::pair<std::string, int>, LaneTag> now;
        for (const BridgeIdentity& twin : found) {
            const auto key = std::make_pair(twin.serialNumber, twin.index);
            const auto was = twinLanes_.find(key);
            if (was != twinLanes_.end()) {
                now[key] = was->second;
                continue;
            }
            LaneTag tag;
            tag.number = ++lanesSeen_;
            tag.serial = twin.serialNumber;
            tag.index = twin.index;
            tag.serialShared = true;
            shared_.observer().laneAppeared(tag);
            shared_.observer().laneState(tag, LaneState::CannotTellApart);
            now[key] = tag;
        }
        for (const auto& [key, tag] : twinLanes_) {
            if (now.count(key) == 0) {
                shared_.observer().laneGone(tag);
            }
        }
        twinLanes_ = std::move(now);
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
    std::map<std::string, int> twinWalks_; // serial number -> walks it is still remembered
    std::map<std::pair<std::string, int>, LaneTag> twinLanes_;
    struct UnopenedLane {
        LaneTag tag; // number 0 until shown
        int walks = 0;
        std::string reason;
    };
    std::map<std::pair<int, std::uint32_t>, UnopenedLane> unopened_; // by index and location
};

} // namespace

void takeUnitIdInput(UnitIds& ids, OperatorName* who, StationObserver& observer,
                     const std::string& line) {
    const UnitIdNews news = takeScanLine(ids, who, line, UnitIds::Clock::now());
    tellUnitIdNews(observer, news, ids.waiting());
}

StationResult runStation(const StationSettings& settings, const StationStops& stops,
                         StationObserver& observer) {
    Station station(settings, stops, observer);
    return station.run();
}

} // namespace pxr7
