#include "outcome_messages.h"

namespace pxr7 {

namespace {

struct OutcomeRow {
    UpgradeResult result;
    OutcomeMessage message;
};

constexpr MessageKind kError = MessageKind::Error;

// A corrected lead shows "No devices found", and every transfer failure, in either phase,
// "Error - Handshake not received". A bridge that is not a meter lead, or a lead whose
// settings could not be written, is a port the upgrade cannot use: "USB Port Error".
constexpr OutcomeRow kOutcomes[] = {
    {UpgradeResult::Completed, {MSG_UPGRADE_COMPLETE, MessageKind::Information}},
    {UpgradeResult::Cancelled, {-1, kError}},
    {UpgradeResult::NoDriver, {MSG_INSTALL_DRIVER_FIRST, kError}},
    {UpgradeResult::ImageNotChosen, {-1, kError}},
    {UpgradeResult::ImageNotFound, {MSG_CANNOT_LOCATE_DATA, kError}},
    {UpgradeResult::ImageEmpty, {MSG_DATA_SIZE_UNKNOWN, kError}},
    {UpgradeResult::ImageCannotLoad, {MSG_CANNOT_ACCESS_DATA, kError}},
    {UpgradeResult::ImageCannotLock, {MSG_CANNOT_LOCK_DATA, kError}},
    {UpgradeResult::ImageAltered, {MSG_CANNOT_ACCESS_DATA, kError}},
    {UpgradeResult::OutOfMemory, {MSG_CANNOT_ALLOCATE_MEMORY, kError}},
    {UpgradeResult::PortError, {MSG_USB_PORT_ERROR, kError}},
    {UpgradeResult::NotAMeterLead, {MSG_USB_PORT_ERROR, kError}},
    {UpgradeResult::LeadSetupFailed, {MSG_USB_PORT_ERROR, kError}},
    {UpgradeResult::LeadReprogrammed, {MSG_NO_DEVICES_FOUND, kError}},
    {UpgradeResult::HandshakeFailed, {MSG_HANDSHAKE_NOT_RECEIVED, kError}},
};

} // namespace

OutcomeMessage outcomeMessageFor(UpgradeResult result) {
    for (const OutcomeRow& row : kOutcomes) {
        if (row.result == result) {
            return row.message;
        }
    }
    return OutcomeMessage{-1, kError};
}

} // namespace pxr7
