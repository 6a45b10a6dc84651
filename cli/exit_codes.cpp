#include "exit_codes.h"

namespace pxr7 {

namespace {

struct OutcomeRow {
    UpgradeResult result;
    CommandOutcome outcome;
};

constexpr MessageKind kError = MessageKind::Error;

constexpr OutcomeRow kOutcomes[] = {
    {UpgradeResult::Completed, {EXIT_OK, MSG_UPGRADE_COMPLETE, MessageKind::Information, nullptr}},
    {UpgradeResult::Cancelled, {EXIT_CANCELLED, -1, kError, nullptr}},
    {UpgradeResult::NoDriver, {EXIT_NO_DRIVER, MSG_INSTALL_DRIVER_FIRST, kError, nullptr}},
    {UpgradeResult::ImageNotChosen, {EXIT_FAILURE_OTHER, -1, kError, nullptr}},
    {UpgradeResult::ImageNotFound, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_LOCATE_DATA, kError, nullptr}},
    {UpgradeResult::ImageEmpty, {EXIT_IMAGE_PROBLEM, MSG_DATA_SIZE_UNKNOWN, kError, nullptr}},
    {UpgradeResult::ImageCannotLoad, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_ACCESS_DATA, kError, nullptr}},
    {UpgradeResult::ImageCannotLock, {EXIT_IMAGE_PROBLEM, MSG_CANNOT_LOCK_DATA, kError, nullptr}},
    {UpgradeResult::OutOfMemory,
     {EXIT_IMAGE_PROBLEM, MSG_CANNOT_ALLOCATE_MEMORY, kError, nullptr}},
    {UpgradeResult::PortError, {EXIT_PORT_ERROR, MSG_USB_PORT_ERROR, kError, nullptr}},
    {UpgradeResult::NotAMeterLead,
     {EXIT_NOT_A_METER_LEAD, MSG_USB_PORT_ERROR, kError,
      "pxr7: the bridge is not a PXR7 meter lead (an FT232R, 0403:6001, described as "
      "\"Tavelin QVRX\" or \"FT232R USB UART\"); it was left alone."}},
    {UpgradeResult::LeadReprogrammed,
     {EXIT_BRIDGE_REPROGRAMMED, MSG_NO_DEVICES_FOUND, kError,
      "pxr7: a lead's settings were corrected and it is restarting: reconnect the USB lead and "
      "run the upgrade again."}},
    {UpgradeResult::LeadSetupFailed,
     {EXIT_LEAD_SETUP_FAILED, MSG_USB_PORT_ERROR, kError,
      "pxr7: the lead's settings could not be written to its EEPROM; nothing was changed."}},
    {UpgradeResult::HandshakeFailed,
     {EXIT_HANDSHAKE_FAILED, MSG_HANDSHAKE_NOT_RECEIVED, kError, nullptr}},
};

} // namespace

CommandOutcome commandOutcomeFor(UpgradeResult result) {
    for (const OutcomeRow& row : kOutcomes) {
        if (row.result == result) {
            return row.outcome;
        }
    }
    return CommandOutcome{EXIT_FAILURE_OTHER, -1, kError, nullptr};
}

} // namespace pxr7
