#include "station_lane.h"

#include "lead_setup_steps.h"
#include "meter_version.h"
#include "record.h"
#include "same_bridge.h"
#include "target_choice.h"
#include "upgrade_plan.h"
#include "version_query.h"

#include <thread>

namespace pxr7 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kAskEvery = std::chrono::milliseconds(400);
constexpr auto kLeftAfter = std::chrono::milliseconds(1000);
constexpr auto kLookForGoneEvery = std::chrono::milliseconds(1000);
constexpr auto kVerifyAskEvery = std::chrono::milliseconds(250);
constexpr auto kLongestSleep = std::chrono::milliseconds(50);
// The lead must be missing from two asks in a row: one miss may be a bridge re-enumerating.
constexpr int kMissesForGone = 2;

bool retryable(int exitCode) {
    return exitCode == EXIT_HANDSHAKE_FAILED || exitCode == EXIT_TRANSFER_STOPPED ||
           exitCode == EXIT_METER_SILENT;
}

// One transfer's phases and progress, told to the station; the bus lock the lane took for the
// transfer's open is let go at the first word from it, when the bridge is open (or the start
// has failed).
class AttemptObserver : public LaneObserver {
public:
    AttemptObserver(StationObserver& station, const LaneTag& lane, int attempt,
                    std::unique_lock<std::mutex>& hold)
        : station_(station), lane_(lane), attempt_(attempt), hold_(hold) {}

    void phase(Phase phase) override {
        release();
        station_.phase(lane_, phase, attempt_);
    }
    void progress(std::int32_t done, std::int32_t total) override {
        release();
        station_.progress(lane_, done, total);
    }
    void transferEnded(const UpgradeOutcome&) override { release(); }
    void release() {
        if (hold_.owns_lock()) {
            hold_.unlock();
        }
    }

private:
    StationObserver& station_;
    LaneTag lane_;
    int attempt_;
    std::unique_lock<std::mutex>& hold_;
};

} // namespace

LaneTag StationLane::tag() const {
    LaneTag lane;
    lane.number = number_;
    lane.serial = lead_.serialNumber;
    lane.index = lead_.index;
    lane.location = lead_.location;
    return lane;
}

void StationLane::run() {
    shared_.observer().laneAppeared(tag());
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
    if (gone) {
        shared_.observer().laneGone(tag());
    }
    finished_ = true;
}

StationLane::Asked StationLane::ask(std::string& version) {
    DevicePort port;
    Reach reach;
    {
        std::lock_guard<std::mutex> lock(shared_.bus().lock());
        reach = openLead(port, lead_, kVersionQueryBaud);
    }
    if (reach == Reach::Gone) {
        return ++misses_ >= kMissesForGone ? Asked::Gone : Asked::Silent;
    }
    misses_ = 0;
    if (reach != Reach::Opened) {
        return Asked::Silent;
    }
    port.setLatencyTimer(kBenchLatencyMs);
    char text[kVersionTextSize];
    const bool answered = queryMeterVersion(port, text, ReplyReading::ExactFrame);
    port.close();
    if (answered) {
        version = text;
    }
    return answered ? Asked::Answered : Asked::Silent;
}

StationLane::Start StationLane::prepare() {
    for (;;) {
        DevicePort port;
        Reach reach;
        {
            std::lock_guard<std::mutex> lock(shared_.bus().lock());
            reach = openLead(port, lead_, kVersionQueryBaud);
        }
        if (reach == Reach::Opened) {
            const DevicePort::EepromCheck check = port.inspectEeprom();
            port.close();
            return decide(check);
        }
        if (reach == Reach::Gone && ++misses_ >= kMissesForGone) {
            return Start::Gone;
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
            shared_.observer().laneState(tag(), LaneState::NeedsSetup);
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
    if (!setUpLeadNow(lead).ok() || !surveyLeadAgain(lead)) {
        shared_.observer().laneState(tag(), LaneState::LeftAlone);
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
        if (findSameBridge(lead_).outcome != FindOutcome::NotFound) {
            misses_ = 0;
        } else if (++misses_ >= kMissesForGone) {
            return true;
        }
    }
    return false;
}

bool StationLane::serveMeters() {
    shared_.observer().laneState(tag(), LaneState::Waiting);
    bool attached = false, failed = false;
    Clock::time_point lastAnswer = Clock::now();
    while (!shared_.ending() && !shared_.draining()) {
        const Clock::time_point due = Clock::now() + kAskEvery;
        std::string version;
        const Asked asked = ask(version);
        if (asked == Asked::Gone) {
            return true;
        }
        if (asked == Asked::Answered && !attached && shared_.claimMeter()) {
            shared_.observer().meterArrived(tag(), version);
            failed = !serveMeter(version);
            if (!failed) {
                shared_.observer().laneState(tag(), LaneState::RemoveMeter);
            }
        }
        if (asked == Asked::Answered) {
            attached = true;
            lastAnswer = Clock::now();
        } else if (attached && Clock::now() - lastAnswer >= kLeftAfter) {
            // Gone from the lead; a failed meter's outcome stays shown until the next one.
            attached = false;
            if (!failed) {
                shared_.observer().laneState(tag(), LaneState::Waiting);
            }
        }
        if (!waitUntil(due)) {
            return false;
        }
    }
    return false;
}

bool StationLane::serveMeter(const std::string& version) {
    const Clock::time_point began = Clock::now();
    StationMeter meter;
    meter.started = utcNow();
    BridgeReport lead;
    lead.identity = lead_;
    lead.state = BridgeState::MeterAnswered;
    lead.version = version;
    meter.run = meterRunFor(lead);
    if (isCurrent(lead, shared_.settings().declaredVersion)) {
        meter.result = "current";
        meter.run.versionAfter = version;
    } else {
        upgradeWithRetries(meter, lead);
    }
    meter.run.seconds = std::chrono::duration<double>(Clock::now() - began).count();
    meter.finished = utcNow();
    shared_.finishMeter(tag(), meter);
    return meter.run.exitCode == EXIT_OK;
}

void StationLane::upgradeWithRetries(StationMeter& meter, const BridgeReport& lead) {
    for (int number = 1;; ++number) {
        meter.attempts = number;
        MeterRun run = meterRunFor(lead);
        const int code = attempt(run, number);
        meter.run = run;
        meter.result = code == EXIT_OK ? "ok" : errorWordFor(code);
        // A new reset pulse starts the boot loader again, on the lead wherever it is now.
        if (code == EXIT_OK || !retryable(code) || number > shared_.settings().retries ||
            shared_.stopNow() || !refindLead()) {
            return;
        }
    }
}

int StationLane::attempt(MeterRun& run, int number) {
    std::unique_lock<std::mutex> hold(shared_.bus().lock());
    BridgeReport lead;
    lead.identity = lead_;
    lead.state = BridgeState::MeterAnswered;
    lead.version = run.versionBefore;
    AttemptObserver observer(shared_.observer(), tag(), number, hold);
    RunSettings settings;
    settings.verify = false; // verified below, through the bus lock
    settings.declaredVersion = shared_.settings().declaredVersion;
    int code = runMeter(lead, settings, observer, shared_.stopCheck(), run);
    observer.release();
    if (code == EXIT_OK) {
        code = verify(run, number);
    }
    run.exitCode = code;
    return code;
}

int StationLane::verify(MeterRun& run, int number) {
    shared_.observer().phase(tag(), Phase::Verifying, number);
    const Clock::time_point deadline = Clock::now() + kRestartWait;
    for (;;) {
        std::string version;
        const Asked asked = ask(version);
        if (asked == Asked::Answered) {
            run.versionAfter = version;
            const std::string& declared = shared_.settings().declaredVersion;
            return declared.empty() || version == declared ? EXIT_OK : EXIT_VERIFY_FAILED;
        }
        if (asked == Asked::Gone) {
            return EXIT_PORT_ERROR;
        }
        if (shared_.stopNow()) {
            return shared_.stopExitCode();
        }
        if (Clock::now() >= deadline) {
            return EXIT_METER_SILENT;
        }
        std::this_thread::sleep_for(kVerifyAskEvery);
    }
}

bool StationLane::refindLead() {
    std::lock_guard<std::mutex> lock(shared_.bus().lock());
    const FindResult found = findSameBridge(lead_);
    if (found.outcome != FindOutcome::Found) {
        return false;
    }
    lead_.index = found.index;
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
