// The upgrade: the start sequence, the DTR reset pulse and the timer-driven transfer, as one
// object that owns its state, its copy of the image and the port it upgrades through.
//
// On the wire (the meter's bridge, 1,000,000 baud 8N1, no flow control): DTR is asserted for a
// second and cleared, the meter answers "}", the host sends "{", and then for each "!" the host
// sends the next 516-byte wire record; the "!" after the last record completes the transfer
// and the host pulses DTR once more. Each tick reads at most one byte and writes at most one
// answer.
#pragma once

#include "device_port.h"
#include "start_target.h"
#include "upgrade_host.h"
#include "version_query.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

// The pace of the transfer: one poll of the meter per tick. The meter owes its "}" before the
// poll that reaches kHandshakeWait after the end of the reset pulse, and each "!" before the
// poll that reaches kRecordWait after the event before it: a byte read on that poll is late.
constexpr std::chrono::milliseconds kTickPeriod{10}, kResetPulse{1000}, kHandshakeWait{100},
    kRecordWait{500};
constexpr std::int32_t kHandshakePollLimit =
    static_cast<std::int32_t>(kHandshakeWait / kTickPeriod);
constexpr std::int32_t kRecordPollLimit = static_cast<std::int32_t>(kRecordWait / kTickPeriod);
constexpr std::uint32_t kUpgradeBaud = 1000000;
constexpr std::uint8_t kMeterHandshake = '}';
constexpr std::uint8_t kHostHandshake = '{';
constexpr std::uint8_t kMeterRecordRequest = '!';

enum class TransferState : int { AwaitingHandshake = 0, SendingRecords = 1 };

// The upgrade's working state, readable for tests.
struct UpgradeState {
    bool active = false;       // reset pulse or transfer under way; gates both timers
    bool resetPending = false; // the reset pulse has not ended; ticks do nothing
    bool busy = false;         // a tick is running; a nested tick returns at once
    TransferState state = TransferState::AwaitingHandshake;
    std::int32_t pollCount = 0;  // ticks since the last handshake or record event
    std::int32_t nextRecord = 0; // the next record to send
    std::int32_t recordCount = 0;
    std::int32_t progress = 0; // records the meter has taken, as the progress bar shows
    std::vector<std::uint8_t> image;
    std::uint32_t imageSize = 0;
    std::uint32_t imageResourceId = 0; // 0: nothing chosen
};

// What the upgrade warning shows before the user confirms.
struct PreUpgradeCheck {
    std::optional<MeterInfo> meter; // the first meter that answered, if any
    bool leadReprogrammed = false;  // a lead's EEPROM was corrected on the way
};

class Upgrade {
public:
    // The port is made at the first start: an upgrade that never starts touches nothing.
    explicit Upgrade(UpgradeHost& host);
    Upgrade(const Upgrade&) = delete;
    Upgrade& operator=(const Upgrade&) = delete;

    // The image the next start sends; 0 means none chosen.
    void chooseImage(std::uint32_t resourceId);

    // The step before the warning: chooses nothing, searches for the first answering meter
    // (which may correct and cycle a lead's EEPROM on the way), then chooses imageResourceId.
    // The next start upgrades the meter found here (start_target.h says how it is reached).
    // If a lead was reprogrammed on the way, the next start upgrades only that lead, once it
    // is back set up and with a serial number no other bridge carries; else it does not start.
    PreUpgradeCheck checkBeforeStart(std::uint32_t imageResourceId);

    // Instead of the search: the next start upgrades the meter lead with this serial number,
    // looked for first at index (where the front end found it), then, if that serial number
    // is unique on the bus, wherever it is.
    void aimAt(const std::string& serialNumber, int index);

    // A latency timer (ms) set on the bridge once it is open for the transfer, where the
    // library has the call: the meter's one-byte requests then reach the host at once
    // instead of waiting out the chip's 16 ms. 0, as the Windows program has it: left alone.
    void useLatencyTimer(std::uint8_t ms) { latencyMs_ = ms; }

    // The whole Upgrade command: confirm (the warning) must return true to go on. Loads the
    // image, opens the bridge of the meter the warning showed (bridge 0 when none was shown),
    // checks its EEPROM, starts both timers and asserts DTR. Without a meter shown, bridge 0
    // is upgraded only if it is a meter lead: a meter left in its boot loader answers no
    // version but must still be recoverable. A start that fails reports its outcome at once
    // and leaves no timer running; a cancelled one reports Cancelled and leaves a running
    // transfer running.
    void start(const std::function<bool()>& confirm);

    // Routes a timer expiry: nothing unless active; the tick only once the pulse has ended.
    void onTimer(UpgradeTimer timer);

    // Kills both timers and marks the upgrade inactive; the port is left as it is.
    void stopTimers();

    UpgradeProgress progress() const;
    const UpgradeState& state() const { return state_; }
    // The port the upgrade runs through; null before the first start made it.
    DevicePort* port() { return port_.get(); }

private:
    enum class TickOutcome { Continue, Fail, Complete };

    UpgradeResult copyChosenImage();
    UpgradeResult openBridge();
    UpgradeResult openMeterLead();
    UpgradeResult openShownMeter();
    UpgradeResult openReprogrammedLead();
    UpgradeResult openIfReached(int index, UpgradeResult otherwise);
    UpgradeResult configureOpenedBridge();
    void onResetTimer();
    void transferTick();
    TickOutcome awaitHandshake();
    TickOutcome sendRequestedRecords();
    bool writeWhole(const std::uint8_t* bytes, std::uint32_t length);
    bool sendRecord();
    void failTransfer();
    void completeTransfer();
    void finish(UpgradeResult result);
    void showProgress();

    UpgradeHost& host_;
    std::unique_ptr<DevicePort> port_;
    UpgradeState state_;
    TransferFault fault_ = TransferFault::None;
    bool lastReadFailed_ = false;
    StartTarget target_; // what the warning showed, or the front end chose
    std::uint8_t latencyMs_ = 0;
    std::string openedSerial_;
};

// The progress bar's filled width for a bar of barWidth pixels: 0 when there are no records.
int progressFillWidth(const UpgradeProgress& progress, int barWidth);

} // namespace pxr7
