#include "upgrade.h"

#include "bridge_library.h"

#include <new>

namespace pxr7 {

namespace {

// A read count no real library returns for a one-byte read: the driver has lost the bridge.
constexpr std::uint32_t kBrokenReadCount = 0xFFFFFFFFu;

UpgradeResult resultOfImageLookup(ImageLookup lookup) {
    switch (lookup) {
    case ImageLookup::NotFound:
        return UpgradeResult::ImageNotFound;
    case ImageLookup::SizeUnknown:
        return UpgradeResult::ImageEmpty;
    case ImageLookup::CannotLoad:
        return UpgradeResult::ImageCannotLoad;
    case ImageLookup::CannotLock:
        return UpgradeResult::ImageCannotLock;
    case ImageLookup::Altered:
        return UpgradeResult::ImageAltered;
    case ImageLookup::Found:
        break;
    }
    return UpgradeResult::Completed;
}

} // namespace

Upgrade::Upgrade(UpgradeHost& host) : host_(host) {}

void Upgrade::chooseImage(std::uint32_t resourceId) {
    state_.imageResourceId = resourceId;
}

PreUpgradeCheck Upgrade::checkBeforeStart(std::uint32_t imageResourceId) {
    // Nothing can be sent until the warning has chosen the image again.
    chooseImage(0);
    MeterSearch search = searchMetersCorrectingLeads(SearchExtent::FirstMeter);
    chooseImage(imageResourceId);
    target_ = targetAfterSearch(search);
    PreUpgradeCheck check;
    check.leadReprogrammed = search.leadReprogrammed;
    if (!search.meters.empty()) {
        check.meter = std::move(search.meters.front());
    }
    return check;
}

void Upgrade::aimAt(const std::string& serialNumber, int index) {
    target_ = chosenTarget(serialNumber, index);
}

UpgradeProgress Upgrade::progress() const {
    return UpgradeProgress{state_.progress, state_.recordCount, state_.active};
}

void Upgrade::showProgress() {
    host_.progressChanged(progress());
}

void Upgrade::finish(UpgradeResult result) {
    UpgradeOutcome outcome;
    outcome.result = result;
    outcome.recordCount = state_.recordCount;
    outcome.nextRecord = state_.nextRecord;
    outcome.serialNumber = openedSerial_;
    if (result == UpgradeResult::HandshakeFailed) {
        outcome.phase = state_.state == TransferState::AwaitingHandshake ? TransferPhase::Handshake
                                                                         : TransferPhase::Records;
        outcome.fault = fault_;
    }
    host_.finished(outcome);
}

void Upgrade::stopTimers() {
    host_.killTimer(UpgradeTimer::Reset);
    host_.killTimer(UpgradeTimer::Tick);
    state_.active = false;
}

// Takes the upgrade's own copy of the chosen image.
UpgradeResult Upgrade::copyChosenImage() {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    const ImageLookup lookup = host_.findImage(state_.imageResourceId, &data, &size);
    if (lookup != ImageLookup::Found) {
        return resultOfImageLookup(lookup);
    }
    if (size == 0) {
        return UpgradeResult::ImageEmpty;
    }
    try {
        state_.image.assign(data, data + size);
    } catch (const std::bad_alloc&) {
        state_.image.clear();
        return UpgradeResult::OutOfMemory;
    }
    state_.imageSize = size;
    state_.recordCount = static_cast<std::int32_t>(size / kFirmwareRecordSize);
    return UpgradeResult::Completed;
}

void Upgrade::start(const std::function<bool()>& confirm) {
    state_.progress = 0;
    if (!confirm()) {
        finish(UpgradeResult::Cancelled);
        return;
    }
    if (!bridgeLibraryPresent()) {
        finish(UpgradeResult::NoDriver);
        return;
    }
    state_.active = false;
    stopTimers();
    showProgress();

    if (state_.imageResourceId == 0) {
        finish(UpgradeResult::ImageNotChosen);
        return;
    }
    UpgradeResult failure = copyChosenImage();
    if (failure == UpgradeResult::Completed) {
        failure = openBridge();
    }
    if (failure != UpgradeResult::Completed) {
        finish(failure);
        return;
    }
    host_.setTimer(UpgradeTimer::Reset, kResetPulse);
    state_.resetPending = true;
    state_.state = TransferState::AwaitingHandshake;
    state_.busy = false;
    state_.active = true;
    fault_ = TransferFault::None;
    host_.setTimer(UpgradeTimer::Tick, kTickPeriod);
    port_->assertDtr();
    host_.phaseChanged(UpgradePhase::Reset);
}

void Upgrade::onTimer(UpgradeTimer timer) {
    if (!state_.active) {
        return;
    }
    if (timer == UpgradeTimer::Tick && !state_.resetPending) {
        transferTick();
    } else if (timer == UpgradeTimer::Reset) {
        onResetTimer();
    }
}

// The end of the reset pulse: DTR cleared, receive queue purged, 1 ms reads.
void Upgrade::onResetTimer() {
    host_.killTimer(UpgradeTimer::Reset);
    state_.resetPending = false;
    if (port_) {
        port_->clearDtr();
        port_->purgeReceive();
        port_->setTimeouts(1, 1000);
    }
    state_.state = TransferState::AwaitingHandshake;
    state_.pollCount = 0;
    host_.phaseChanged(UpgradePhase::WaitingForMeter);
}

Upgrade::TickOutcome Upgrade::awaitHandshake() {
    std::uint8_t received[128] = {};
    ++state_.pollCount;
    const FT_STATUS status = port_->read(received, 1);
    lastReadFailed_ = status != FT_OK;
    if (status == FT_OK && port_->bytesRead == kBrokenReadCount) {
        fault_ = TransferFault::BrokenRead;
        return TickOutcome::Fail;
    }
    // The limit comes before the byte, as in the Windows program: a "}" read on the poll that
    // reaches it is too late.
    if (state_.pollCount >= kHandshakePollLimit) {
        fault_ = lastReadFailed_ ? TransferFault::ReadFailed : TransferFault::NoReply;
        return TickOutcome::Fail;
    }
    if (received[0] == kMeterHandshake) {
        if (!writeWhole(&kHostHandshake, 1)) {
            return TickOutcome::Fail;
        }
        state_.pollCount = 0;
        state_.nextRecord = 0;
        state_.state = TransferState::SendingRecords;
        host_.phaseChanged(UpgradePhase::Sending);
    }
    return TickOutcome::Continue;
}

bool Upgrade::writeWhole(const std::uint8_t* bytes, std::uint32_t length) {
    if (port_->write(bytes, length) != FT_OK || port_->bytesWritten != length) {
        // The meter would wait for the rest for ever: stop now, not after the poll limit.
        fault_ = TransferFault::WriteFailed;
        return false;
    }
    return true;
}

bool Upgrade::sendRecord() {
    state_.pollCount = 0;
    std::uint8_t wire[kWireRecordSize];
    buildWireRecord(
        &state_.image[static_cast<std::size_t>(state_.nextRecord) * kFirmwareRecordSize], wire);
    if (!writeWhole(wire, sizeof wire)) {
        return false;
    }
    state_.progress = state_.nextRecord;
    ++state_.nextRecord;
    showProgress();
    return true;
}

Upgrade::TickOutcome Upgrade::sendRequestedRecords() {
    std::uint8_t received[128] = {};
    ++state_.pollCount;
    lastReadFailed_ = port_->read(received, 1) != FT_OK;
    const std::uint32_t got = lastReadFailed_ ? 0 : port_->bytesRead;
    if (got == kBrokenReadCount) {
        fault_ = TransferFault::BrokenRead;
        return TickOutcome::Fail;
    }
    // As for the handshake: a "!" read on the poll that reaches the limit is too late.
    if (state_.pollCount >= kRecordPollLimit) {
        fault_ = lastReadFailed_ ? TransferFault::ReadFailed : TransferFault::NoReply;
        return TickOutcome::Fail;
    }
    if (got != 0 && received[0] == kMeterRecordRequest) {
        if (state_.nextRecord == state_.recordCount) {
            return TickOutcome::Complete;
        }
        return sendRecord() ? TickOutcome::Continue : TickOutcome::Fail;
    }
    return TickOutcome::Continue;
}

void Upgrade::failTransfer() {
    finish(UpgradeResult::HandshakeFailed);
    state_.active = false;
    stopTimers();
    showProgress();
}

void Upgrade::completeTransfer() {
    // A second pulse restarts the meter into its new firmware.
    port_->assertDtr();
    state_.progress = state_.recordCount;
    showProgress();
    host_.killTimer(UpgradeTimer::Tick);
    port_->clearDtr();
    finish(UpgradeResult::Completed);
    state_.active = false;
    stopTimers();
    showProgress();
}

void Upgrade::transferTick() {
    if (!state_.active || state_.busy || !port_) {
        return;
    }
    state_.busy = true;
    const TickOutcome outcome = state_.state == TransferState::AwaitingHandshake
                                    ? awaitHandshake()
                                    : sendRequestedRecords();
    if (outcome == TickOutcome::Fail) {
        failTransfer();
    } else if (outcome == TickOutcome::Complete) {
        completeTransfer();
    }
    state_.busy = false;
    if (!state_.active) {
        host_.phaseChanged(UpgradePhase::Done);
        port_->close();
    }
}

int progressFillWidth(const UpgradeProgress& progress, int barWidth) {
    if (progress.total <= 0) {
        return 0;
    }
    std::int64_t done = progress.done;
    if (done < 0) {
        done = 0;
    } else if (done > progress.total) {
        done = progress.total;
    }
    return static_cast<int>(done * barWidth / progress.total);
}

} // namespace pxr7
