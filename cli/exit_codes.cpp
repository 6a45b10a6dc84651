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
    {UpgradeResult::OutOfMemory, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_ALLOCATE_MEMORY, kError}},
    {UpgradeResult::PortError, {EXIT_PORT_ERROR, MSG_USB_PORT_ERROR, kError}},
    {UpgradeResult::LeadReprogrammed, {EXIT_BRIDGE_REPROGRAMMED, MSG_NO_DEVICES_FOUND, kError}},
    {UpgradeResult::HandshakeFailed, {EXIT_HANDSHAKE_FAILED, MSG_HANDSHAKE_NOT_RECEIVED, kError}},
};

} // namespace

CommandOutcome commandOutcomeFor(UpgradeResult result) {
    for (const OutcomeRow& row : kOutcomes) {
        if (row.result == result) {
            return row.outcome;
        }
    }
    return CommandOutcome{EXIT_FAILURE_OTHER, -1, kError};
}

} // namespace pxr7
