#include "upgrade_procedure.h"

#include "../link/bridge_library.h"
#include "../link/device_port.h"

#include <new>

namespace pxr7 {

namespace {

UpgradeState g_upgrade;

// A read count no real library returns for a one-byte read: the driver has lost the bridge.
constexpr std::uint32_t kBrokenReadCount = 0xFFFFFFFFu;

enum class TickOutcome { Continue, Fail, Complete };

int messageForImageLookup(ImageLookup lookup) {
    switch (lookup) {
    case ImageLookup::NotFound:
        return MSG_CANNOT_LOCATE_DATA;
    case ImageLookup::SizeUnknown:
        return MSG_DATA_SIZE_UNKNOWN;
    case ImageLookup::CannotLoad:
        return MSG_CANNOT_ACCESS_DATA;
    case ImageLookup::CannotLock:
        return MSG_CANNOT_LOCK_DATA;
    case ImageLookup::Found:
        break;
    }
    return -1;
}

// Takes the procedure's own copy of the chosen image. Returns the message index of the
// failure, or -1.
int copyChosenImage(UpgradeHost& host) {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    const ImageLookup lookup = host.findImage(g_upgrade.imageResourceId, &data, &size);
    if (lookup != ImageLookup::Found) {
        return messageForImageLookup(lookup);
    }
    if (size == 0) {
        return MSG_DATA_SIZE_UNKNOWN;
    }
    try {
        g_upgrade.image.assign(data, data + size);
    } catch (const std::bad_alloc&) {
        g_upgrade.image.clear();
        return MSG_CANNOT_ALLOCATE_MEMORY;
    }
    g_upgrade.imageSize = size;
    g_upgrade.recordCount = static_cast<std::int32_t>(size / kFirmwareRecordSize);
    return -1;
}

TickOutcome awaitHandshake(DevicePort& port) {
    std::uint8_t received[128] = {};
    ++g_upgrade.pollCount;
    const FT_STATUS status = port.read(received, 1);
    if (status == FT_OK && port.bytesRead == kBrokenReadCount) {
        return TickOutcome::Fail;
    }
    if (g_upgrade.pollCount >= kHandshakePollLimit) {
        return TickOutcome::Fail;
    }
    if (received[0] == kMeterHandshake) {
        port.write(&kHostHandshake, 1);
        g_upgrade.pollCount = 0;
        g_upgrade.nextRecord = 0;
        g_upgrade.state = SendingRecords;
    }
    return TickOutcome::Continue;
}

void sendRecord(UpgradeHost& host, DevicePort& port) {
    g_upgrade.pollCount = 0;
    std::uint8_t wire[kWireRecordSize];
    buildWireRecord(
        &g_upgrade.image[static_cast<std::size_t>(g_upgrade.nextRecord) * kFirmwareRecordSize],
        wire);
    // A lost write shows up as a meter that stops asking, which times the transfer out.
    port.write(wire, sizeof wire);
    g_upgrade.progress = g_upgrade.nextRecord;
    ++g_upgrade.nextRecord;
    host.invalidate(true);
}

TickOutcome sendRequestedRecords(UpgradeHost& host, DevicePort& port) {
    std::uint8_t received[128] = {};
    ++g_upgrade.pollCount;
    const std::uint32_t got = port.read(received, 1) == FT_OK ? port.bytesRead : 0;
    if (got == kBrokenReadCount) {
        return TickOutcome::Fail;
    }
    if (g_upgrade.pollCount >= kRecordPollLimit) {
        return TickOutcome::Fail;
    }
    if (got != 0 && received[0] == kMeterRecordRequest) {
        if (g_upgrade.nextRecord == g_upgrade.recordCount) {
            return TickOutcome::Complete;
        }
        sendRecord(host, port);
    }
    return TickOutcome::Continue;
}

void failTransfer(UpgradeHost& host) {
    host.showMessage(MSG_HANDSHAKE_NOT_RECEIVED, MessageKind::Error);
    g_upgrade.active = false;
    stopTransferTimers(host);
    host.invalidate(true);
}

void completeTransfer(UpgradeHost& host, DevicePort& port) {
    // A second pulse restarts the meter into its new firmware.
    port.assertDtr();
    g_upgrade.progress = g_upgrade.recordCount;
    host.invalidate(true);
    host.killTimer(TICK_TIMER);
    port.clearDtr();
    host.showMessage(MSG_UPGRADE_COMPLETE, MessageKind::Information);
    g_upgrade.active = false;
    stopTransferTimers(host);
    host.invalidate(true);
}

} // namespace

UpgradeState& upgradeState() {
    return g_upgrade;
}

void chooseImage(std::uint32_t resourceId) {
    g_upgrade.imageResourceId = resourceId;
}

void stopTransferTimers(UpgradeHost& host) {
    host.killTimer(RESET_TIMER);
    host.killTimer(TICK_TIMER);
    g_upgrade.active = false;
}

void startUpgrade(UpgradeHost& host, const std::function<int()>& confirm) {
    g_upgrade.progress = 0;
    if (confirm() != kConfirmUpgrade) {
        return;
    }
    if (!bridgeLibraryPresent()) {
        host.showMessage(MSG_INSTALL_DRIVER_FIRST, MessageKind::Error);
        return;
    }
    g_upgrade.active = false;
    stopTransferTimers(host);
    host.invalidate(true);

    if (g_upgrade.imageResourceId == 0) {
        return;
    }
    const int imageFailure = copyChosenImage(host);
    if (imageFailure >= 0) {
        host.showMessage(imageFailure, MessageKind::Error);
        return;
    }
    DevicePort* port = host.port();
    if (port == nullptr) {
        // The port is only missing when the program ran out of memory at start-up.
        host.showMessage(MSG_CANNOT_ALLOCATE_MEMORY, MessageKind::Error);
        return;
    }
    port->close();
    if (port->openAndConfigure(0, kUpgradeBaud, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) !=
        FT_OK) {
        host.showMessage(MSG_USB_PORT_ERROR, MessageKind::Error);
        return;
    }
    port->ensureBridgeConfig(true);
    if (port->configChanged != 0) {
        // The bridge is re-enumerating with its corrected settings; the dead handle is closed
        // by the next start.
        host.showMessage(MSG_NO_DEVICES_FOUND, MessageKind::Error);
        return;
    }
    host.setTimer(RESET_TIMER, kResetPulseMs);
    g_upgrade.resetPending = true;
    g_upgrade.state = AwaitingHandshake;
    g_upgrade.busy = false;
    g_upgrade.active = true;
    host.setTimer(TICK_TIMER, kTickPeriodMs);
    port->assertDtr();
}

void onResetTimer(UpgradeHost& host) {
    if (!g_upgrade.active) {
        return;
    }
    host.killTimer(RESET_TIMER);
    g_upgrade.resetPending = false;
    if (DevicePort* port = host.port()) {
        port->clearDtr();
        port->purgeReceive();
        port->setTimeouts(1, 1000);
    }
    g_upgrade.state = AwaitingHandshake;
    g_upgrade.pollCount = 0;
}

void transferTick(UpgradeHost& host) {
    if (!g_upgrade.active || g_upgrade.busy) {
        return;
    }
    DevicePort* port = host.port();
    if (port == nullptr) {
        return;
    }
    g_upgrade.busy = true;
    const TickOutcome outcome = g_upgrade.state == AwaitingHandshake
                                    ? awaitHandshake(*port)
                                    : sendRequestedRecords(host, *port);
    if (outcome == TickOutcome::Fail) {
        failTransfer(host);
    } else if (outcome == TickOutcome::Complete) {
        completeTransfer(host, *port);
    }
    g_upgrade.busy = false;
    if (!g_upgrade.active) {
        host.invalidate(false);
        port->close();
    }
}

void dispatchTransferTimer(UpgradeHost& host, int timerId) {
    if (!g_upgrade.active) {
        return;
    }
    if (timerId == TICK_TIMER && !g_upgrade.resetPending) {
        transferTick(host);
    } else if (timerId == RESET_TIMER) {
        onResetTimer(host);
    }
}

int progressFillWidth(const UpgradeState& upgrade, int barWidth) {
    if (upgrade.recordCount <= 0) {
        return 0;
    }
    std::int64_t done = upgrade.progress;
    if (done < 0) {
        done = 0;
    } else if (done > upgrade.recordCount) {
        done = upgrade.recordCount;
    }
    return static_cast<int>(done * barWidth / upgrade.recordCount);
}

} // namespace pxr7
