// The upgrade: the start sequence, the DTR reset pulse and the timer-driven transfer.
//
// On the wire (bridge 0, 1,000,000 baud 8N1, no flow control): DTR is asserted for a second
// and cleared, the meter answers "}", the host sends "{", and then for each "!" the host sends
// the next 516-byte wire record; the "!" after the last record completes the transfer and the
// host pulses DTR once more. Each tick reads at most one byte and writes at most one answer.
#pragma once

#include "upgrade_host.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace pxr7 {

constexpr int TICK_TIMER = 12345;
constexpr int RESET_TIMER = 12346;
constexpr unsigned kTickPeriodMs = 10;
constexpr unsigned kResetPulseMs = 1000;
constexpr std::uint32_t kUpgradeBaud = 1000000;
constexpr int kHandshakePollLimit = 10;
constexpr int kRecordPollLimit = 50;
constexpr std::uint8_t kMeterHandshake = '}';
constexpr std::uint8_t kHostHandshake = '{';
constexpr std::uint8_t kMeterRecordRequest = '!';
constexpr int kConfirmUpgrade = 1;

enum TransferState : int { AwaitingHandshake = 0, SendingRecords = 1 };

struct UpgradeState {
    bool active = false;
    bool resetPending = false;
    bool busy = false;
    int state = AwaitingHandshake;
    std::int32_t pollCount = 0;
    std::int32_t nextRecord = 0;
    std::int32_t recordCount = 0;
    std::int32_t progress = 0;
    std::vector<std::uint8_t> image;
    std::uint32_t imageSize = 0;
    std::uint32_t imageResourceId = 0;
};

// The one upgrade of the program; read by the progress display.
UpgradeState& upgradeState();

// The whole Upgrade command: confirm (the warning dialog) must return 1 to go on. Loads the
// image, opens bridge 0 on the host's port, checks its EEPROM, starts both timers and asserts
// DTR. Every failure is shown through the host and leaves no timer running.
void startUpgrade(UpgradeHost& host, const std::function<int()>& confirm);

// The image the next start sends; 0 means none chosen.
void chooseImage(std::uint32_t resourceId);

// The end of the reset pulse: DTR cleared, receive queue purged, 1 ms reads.
void onResetTimer(UpgradeHost& host);

// One step of the transfer.
void transferTick(UpgradeHost& host);

// Kills both timers and marks the upgrade inactive; the port is left as it is.
void stopTransferTimers(UpgradeHost& host);

// Routes a timer expiry the way the main window does: nothing unless active; the tick only
// once the reset pulse has ended.
void dispatchTransferTimer(UpgradeHost& host, int timerId);

// The progress bar's filled width for a bar of barWidth pixels: 0 when there are no records.
int progressFillWidth(const UpgradeState& upgrade, int barWidth);

} // namespace pxr7
