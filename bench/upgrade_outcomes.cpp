#include "upgrade_outcomes.h"

#include "exit_codes.h"

namespace pxr7 {

namespace {

struct OutcomeRow {
    UpgradeResult result;
    CommandOutcome outcome;
};

constexpr MessageKind kError = MessageKind::Error;

constexpr OutcomeRow kOutcomes[] = {
    {UpgradeResult::Completed, {EXIT_OK, MSG_UPGRADE_COMPLETE, MessageKind::Information}},
    {UpgradeResult::Cancelled, {EXIT_CANCELLED, -1, kError}},
    {UpgradeResult::NoDriver, {EXIT_NO_DRIVER, MSG_INSTALL_DRIVER_FIRST, kError}},
    {UpgradeResult::ImageNotChosen, {EXIT_FAILURE_OTHER, -1, kError}},
    {UpgradeResult::ImageNotFound, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_LOCATE_DATA, kError}},
    {UpgradeResult::ImageEmpty, {EXIT_IMAGE_PROBLEM, MSG_DATA_SIZE_UNKNOWN, kError}},
    {UpgradeResult::ImageCannotLoad, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_ACCESS_DATA, kError}},
    {UpgradeResult::ImageCannotLock, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_LOCK_DATA, kError}},
    {UpgradeResult::ImageAltered, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_ACCESS_DATA, kError}},
    {UpgradeResult::OutOfMemory, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_ALLOCATE_MEMORY, kError}},
    {UpgradeResult::PortError, {EXIT_PORT_ERROR, MSG_USB_PORT_ERROR, kError}},
    {UpgradeResult::NotAMeterLead, {EXIT_NOT_A_METER_LEAD, MSG_USB_PORT_ERROR, kError}},
    {UpgradeResult::LeadReprogrammed, {EXIT_BRIDGE_REPROGRAMMED, MSG_NO_DEVICES_FOUND, kError}},
    {UpgradeResult::LeadSetupFailed, {EXIT_LEAD_SETUP_FAILED, MSG_USB_PORT_ERROR, kError}},
    {UpgradeResult::HandshakeFailed, {EXIT_HANDSHAKE_FAILED, MSG_HANDSHAKE_NOT_RECEIVED, kError}},
};

} // namespace

CommandOutcome commandOutcomeFor(const UpgradeOutcome& outcome) {
    for (const OutcomeRow& row : kOutcomes) {
        if (row.result != outcome.result) {
            continue;
        }
        CommandOutcome shown = row.outcome;
        // A meter that answered the reset and then stopped is another case than one that
        // never answered: the first is waiting in its boot loader.
        if (outcome.result == UpgradeResult::HandshakeFailed &&
            outcome.phase == TransferPhase::Records) {
            shown.exitCode = EXIT_TRANSFER_STOPPED;
            shown.messageIndex = -1; // the handshake happened: the diagnosis says where it stopped
        }
        return shown;
    }
    return CommandOutcome{EXIT_FAILURE_OTHER, -1, kError};
}

} // namespace pxr7
