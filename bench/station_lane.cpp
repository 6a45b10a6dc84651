#include "station_lane.h"

#include "diagnosis.h"
#include "lead_setup_steps.h"
#include "meter_job.h"
#include "same_bridge.h"
#include "target_choice.h"
#include "version_query.h"

#include <thread>
#include <utility>

namespace pxr7 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kAskEvery = std::chrono::milliseconds(400);
constexpr auto kLookForGoneEvery = std::chrono::milliseconds(1000);
constexpr auto kLongestSleep = std::chrono::milliseconds(50);
// The lead must be missing from two asks in a row: one miss may be a bridge re-enumerating.
constexpr int kMissesForGone = 2;
// Asks in a row that found the lead held before the lane says so (about 2 s).
constexpr int kBusyAsksShown = 5;

// One unit's pipeline words, told to the station as this lane's.
class LaneWords : public LaneObserver {
public:
    LaneWords(StationObserver& station, const LaneTag& lane) : station_(station), lane_(lane) {}

    void phase(Phase phase) override { station_.phase(lane_, phase, attempt_); }
    void progress(std::int32_t done, std::int32_t total) override {
        station_.progress(lane_, done, total);
    }
    void transferEnded(const UpgradeOutcome&) override {}
    void attemptStarted(int n) override { attempt_ = n; }

private:
    StationObserver& station_;
    LaneTag lane_;
    int attempt_ = 1;
};

} // namespace

LaneTag StationLane::tag() const {
    LaneTag lane;
    lane.number = number_;
    lane.serial = lead_.serialNumber;
    lane.index = lead_.index;
    lane.location = lead_.location;
    lane.serialShared = lead_.serialShared || lead_.serialNumber.empty();
    lane.name = laneNameFor(shared_.settings().bench, lead_.serialNumber, lead_.location);
    lane.unitId = unitId_;
    return lane;
}

void StationLane::run() {
    shared_.observer().laneAppeared(tag());
    if (shared_.settings().unitIds != nullptr) {
        shared_.settings().unitIds->laneOpened(tag());
    }
    bool gone = false;
    switch (prepare()) {
    case Start::Ready:
        gone = serveMeters();
        break;
    case Start::LeaveAlone:
        gone = idleUntilGone();
        break;
    case Start::Gone:
        gone = true;
        break;
    case Start::Ended:
        break;
    }
    if (UnitIds* ids = shared_.settings().unitIds) {
        // The lane ends, with its meter unserved perhaps: an id bound to it is let go.
        tellUnitIdNews(shared_.observer(), ids->laneClosed(number_, Clock::now()), ids->waiting());
    }
    if (gone) {
        shared_.observer().laneGone(tag());
    }
    finished_ = true;
}

StationLane::Start StationLane::prepare() {
    for (;;) {
        DevicePort port;
        Reach reach;
        std::optional<DeviceBus::Holding> held;
        {
            std::lock_guard<std::mutex> lock(shared_.bus().lock());
            // Only a look: a factory-fresh lead may be somebody's adapter in use.
            reach = openLead(port, lead_, kLookOnly);
            if (reach == Reach::Opened) {
                held.emplace(shared_.bus(), lead_.index);
            }
        }
        if (reach == Reach::CannotTell) {
            return Start::Gone;
        }
        if (reach == Reach::Opened) {
            busyAsks_ = 0;
            const DevicePort::EepromCheck check = port.inspectEeprom();
            port.close();
            return decide(check);
        }
        if (reach == Reach::Gone && ++misses_ >= kMissesForGone) {
            return Start::Gone;
        }
        if (reach == Reach::NotNow) {
            blockedWhileBusy();
        }
        if (!waitUntil(Clock::now() + kAskEvery)) {
            return Start::Ended;
        }
    }
}

StationLane::Start StationLane::decide(DevicePort::EepromCheck check) {
    switch (check) {
    case DevicePort::EepromCheck::NeedsCorrection:
        if (!shared_.settings().setUp) {
            // A factory-fresh bridge may be somebody's adapter; a lead of ours is surely one.
            shared_.observer().laneBlocked(
                tag(), LaneState::NeedsSetup,
                sameDescription(lead_.description, kFactoryBridgeDescription)
                    ? ""
                    : "a meter lead whose EEPROM settings need correcting");
            return Start::LeaveAlone;
        }
        return setUpNow() ? Start::Ready : Start::LeaveAlone;
    case DevicePort::EepromCheck::StringsCut:
    case DevicePort::EepromCheck::ForeignIds:
        shared_.observer().laneState(tag(), LaneState::LeftAlone);
        return Start::LeaveAlone;
    default:
        return Start::Ready;
    }
}

bool StationLane::setUpNow() {
    shared_.observer().laneState(tag(), LaneState::SettingUp);
    // Held through the restart, so no look at the bus catches the lead half back.
    std::lock_guard<std::mutex> lock(shared_.bus().lock());
    BridgeReport lead;
    lead.identity = lead_;
    const CommandResult setup = setUpLeadNow(lead);
    if (!setup.ok()) {
        shared_.observer().laneBlocked(tag(), LaneState::SetupFailed, setup.diagnosis);
        return false;
    }
    if (!surveyLeadAgain(lead)) {
        shared_.observer().laneBlocked(tag(), LaneState::SetupFailed,
                                       "pxr7: the lead was set up but did not come back as a "
                                       "meter lead: unplug it and plug it in again.");
        return false;
    }
    const std::optional<std::uint32_t> location = lead_.location;
    lead_ = lead.identity;
    if (!lead_.location) {
        lead_.location = location;
    }
    return true;
}

bool StationLane::idleUntilGone() {
    while (waitUntil(Clock::now() + kLookForGoneEvery)) {
        std::lock_guard<std::mutex> lock(shared_.bus().lock());
        const FindResult found = findSameBridge(lead_);
        if (found.outcome != FindOutcome::NotFound || found.maybeHeld) {
            misses_ = 0;
        } else if (++misses_ >= kMissesForGone) {
            return true;
        }
    }
    return false;
}

bool StationLane::serveMeters() {
    shared_.observer().laneState(tag(), LaneState::Waiting);
    while (!shared_.ending() && !shared_.draining()) {
        const Clock::time_point due = Clock::now() + kAskEvery;
        std::string version;
        const Asked asked = shared_.bus().ask(lead_, version);
        if (gone(asked)) {
            return true;
        }
        heard(asked, version);
        if (!waitUntil(due)) {
            break;
        }
    }
    if (shared_.recordFailing()) {
        shared_.observer().laneState(tag(), LaneState::RecordFailing);
    }
    return false;
}

// The lead left (two misses in a row), or it cannot be told from a twin any more: the lane
// ends, and the walk shows what is there now.
bool StationLane::gone(Asked asked) {
    misses_ = asked == Asked::Gone ? misses_ + 1 : 0;
    return misses_ >= kMissesForGone || asked == Asked::CannotTell ||
           shared_.isTwinSerial(lead_.serialNumber);
}

// A lead held by someone for a while is shown so, with who holds it where the system tells;
// a moment's hold (another program looking at the bus) is not worth a word.
void StationLane::blockedWhileBusy() {
    if (++busyAsks_ != kBusyAsksShown) {
        return;
    }
    BridgeReport report;
    report.identity = lead_;
    std::string reason;
    {
        std::lock_guard<std::mutex> lock(shared_.bus().lock());
        reason = describeBusy(report);
    }
    shared_.observer().laneBlocked(tag(), LaneState::CannotOpen, reason);
}

void StationLane::countNotAVersion(Asked asked) {
    if (asked == Asked::NotAVersion) {
        if (++notAVersionAsks_ == kBusyAsksShown) {
            shared_.observer().laneState(tag(), LaneState::MeterNotAVersion);
        }
    } else if (asked != Asked::Busy && std::exchange(notAVersionAsks_, 0) >= kBusyAsksShown &&
               asked != Asked::Answered) {
        shared_.observer().laneState(tag(), LaneState::Waiting);
    }
}

void StationLane::heard(Asked asked, const std::string& version) {
    if (asked == Asked::Busy) {
        blockedWhileBusy();
    } else if (std::exchange(busyAsks_, 0) >= kBusyAsksShown) {
        shared_.observer().laneState(tag(), LaneState::Waiting);
    }
    countNotAVersion(asked);
    const bool wasThere = presence_.present();
    UnitPresence::Heard heard = UnitPresence::Heard::Nothing;
    switch (asked) {
    case Asked::Answered:
        heard = presence_.answer(version, Clock::now());
        break;
    case Asked::Busy:
        heard = presence_.busy(Clock::now());
        break;
    default:
        heard = presence_.silence(Clock::now());
        break;
    }
    if (outOfService_ && stillOutOfService(heard, version)) {
        return;
    }
    if (heard == UnitPresence::Heard::NewUnit) {
        serveUnits(version);
    } else if (heard == UnitPresence::Heard::StartedLate) {
        // Its line says it stayed silent; it is the same unit, not a new one to record.
        shared_.observer().verifiedLate(tag(), version);
        showingOutcome_ = true;
        shared_.observer().laneState(tag(), LaneState::RemoveMeter);
    } else if (awaitingId_) {
        waitForUnitId(asked == Asked::Answered);
    } else if (wasThere && !presence_.present() && showingOutcome_) {
        // Gone from the lead; a failed meter's outcome stays shown until the next one.
        showingOutcome_ = false;
        shared_.observer().laneState(tag(), LaneState::Waiting);
    }
}

// Serves the unit that answered, and the next one if another meter answered while it ended.
void StationLane::serveUnits(const std::string& version) {
    if (awaitingId_) {
        // The meter that waited for its id was swapped for this one (the unit rules say it
        // left): it gives up its place, and an id meant for it stays off the newcomer.
        meterLeftUnserved();
    }
    serveFrom(version);
}

void StationLane::serveFrom(const std::string& version) {
    std::optional<std::string> next = version;
    while (next && !outOfService_) {
        presence_.start(*next, Clock::now());
        if (!haveUnitId()) {
            return;
        }
        next = serveOne(*next);
    }
}

bool StationLane::haveUnitId() {
    UnitIds* ids = shared_.settings().unitIds;
    if (ids == nullptr) {
        return true;
    }
    UnitIdNews news;
    const std::optional<std::string> id =
        awaitingId_ ? ids->idFor(number_) : ids->meterArrived(number_, Clock::now(), news);
    if (!id && !awaitingId_) {
        shared_.observer().laneState(tag(), LaneState::NeedsUnitId);
    }
    tellUnitIdNews(shared_.observer(), news, ids->waiting());
    awaitingId_ = !id;
    unitId_ = id.value_or("");
    return id.has_value();
}

// The unserved meter is served once its id comes, on an ask it answered: one silent since its
// last answer may have been swapped for a meter that has not answered yet, and the id scanned
// for that one would be recorded with the version of the one that left. One that leaves first
// was never a unit.
void StationLane::waitForUnitId(bool answeredNow) {
    UnitIds& ids = *shared_.settings().unitIds;
    if (presence_.present()) {
        if (answeredNow && ids.idFor(number_)) {
            serveFrom(presence_.version());
        }
        return;
    }
    meterLeftUnserved();
    shared_.observer().laneState(tag(), LaneState::Waiting);
}

void StationLane::meterLeftUnserved() {
    UnitIds& ids = *shared_.settings().unitIds;
    awaitingId_ = false;
    unitId_.clear();
    tellUnitIdNews(shared_.observer(), ids.meterLeft(number_, Clock::now()), ids.waiting());
}

void StationLane::endUnitId() {
    if (shared_.settings().unitIds != nullptr) {
        shared_.settings().unitIds->unitEnded(number_);
    }
    unitId_.clear();
}

// One unit through the pipeline; returns the version of a meter that answered as it ended.
std::optional<std::string> StationLane::serveOne(const std::string& version) {
    if (!shared_.claimMeter()) {
        endUnitId();
        if (shared_.recordFailing()) {
            shared_.observer().laneState(tag(), LaneState::RecordFailing);
        }
        return std::nullopt;
    }
    shared_.observer().meterArrived(tag(), version);
    JobSettings settings;
    settings.declaredVersion = shared_.settings().declaredVersion;
    settings.retries = shared_.settings().retries;
    settings.verifyWait = std::chrono::seconds(shared_.settings().bench.verifySeconds);
    settings.watchedAfter = true;
    LaneWords words(shared_.observer(), tag());
    MeterJob job(shared_.bus(), settings, words, shared_.stopCheck(), shared_.ledger());
    BridgeReport lead;
    lead.identity = lead_;
    MeterRun start = meterRunFor(lead);
    start.laneName = tag().name;
    start.unitId = unitId_;
    const MeterRun run = job.serve(lead_, version, start);
    const UnitEnd& end = job.end();
    shared_.finishMeter(tag(), run, end.recordProblem);
    endUnitId();
    countOutcome(run);
    // Silent since it took the image: it may still be starting its new firmware.
    if (run.code() == Outcome::MeterSilent && !end.given.empty()) {
        presence_.servedStarting(end.lastVersion, end.given, Clock::now(), settings.verifyWait);
    } else {
        presence_.served(end.lastVersion, end.given, end.lastAnswer);
    }
    showingOutcome_ = run.code() == Outcome::Ok;
    if (showingOutcome_ && !outOfService_) {
        shared_.observer().laneState(tag(), LaneState::RemoveMeter);
    }
    return end.nextUnit;
}

unsigned StationLane::takeBacks() const {
    const LaneService* service = shared_.settings().service;
    return service == nullptr ? 0 : service->takeBacks();
}

void StationLane::countOutcome(const MeterRun& run) {
    if (run.outcome() == MeterOutcome::Failed) {
        ++failuresInARow_;
    } else if (run.outcome() != MeterOutcome::Stopped) {
        failuresInARow_ = 0;
    }
    const int limit = shared_.settings().bench.outOfServiceAfter;
    if (limit <= 0 || failuresInARow_ < limit) {
        return;
    }
    outOfService_ = true;
    takeBacksSeen_ = takeBacks();
    shared_.observer().laneBlocked(
        tag(), LaneState::OutOfService,
        std::to_string(failuresInARow_) +
            " meters in a row failed here, the last: " + wordsFor(run.code()));
}

bool StationLane::stillOutOfService(UnitPresence::Heard heard, const std::string& version) {
    if (takeBacks() != takeBacksSeen_) {
        outOfService_ = false;
        failuresInARow_ = 0;
        showingOutcome_ = false;
        shared_.observer().laneState(tag(), LaneState::Waiting);
        return false;
    }
    if (heard == UnitPresence::Heard::NewUnit) {
        // Left alone and never recorded: no pulse, no record. It is served once the lane is
        // back and it has been taken off and put on again.
        presence_.start(version, Clock::now());
        presence_.served(version, "", Clock::now());
    }
    return true;
}

bool StationLane::waitUntil(Clock::time_point due) const {
    for (;;) {
        if (shared_.ending() || shared_.draining()) {
            return false;
        }
        const Clock::time_point now = Clock::now();
        if (now >= due) {
            return true;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kLongestSleep));
    }
}

} // namespace pxr7
