#include "upgrade_outcomes.h"

#include "exit_codes.h"

namespace pxr7 {

namespace {

struct OutcomeRow {
    UpgradeResult result;
    int exitCode;
};

constexpr OutcomeRow kOutcomes[] = {
    {UpgradeResult::Completed, EXIT_OK},
    {UpgradeResult::Cancelled, EXIT_CANCELLED},
    {UpgradeResult::NoDriver, EXIT_NO_DRIVER},
    {UpgradeResult::ImageNotChosen, EXIT_FAILURE_OTHER},
    {UpgradeResult::ImageNotFound, EXIT_IMAGE_PROBLEM},
    {UpgradeResult::ImageEmpty, EXIT_IMAGE_PROBLEM},
    {UpgradeResult::ImageCannotLoad, EXIT_IMAGE_PROBLEM},
    {UpgradeResult::ImageCannotLock, EXIT_IMAGE_PROBLEM},
    {UpgradeResult::ImageAltered, EXIT_IMAGE_PROBLEM},
    {UpgradeResult::OutOfMemory, EXIT_IMAGE_PROBLEM},
    {UpgradeResult::PortError, EXIT_PORT_ERROR},
    {UpgradeResult::NotAMeterLead, EXIT_NOT_A_METER_LEAD},
    {UpgradeResult::LeadReprogrammed, EXIT_BRIDGE_REPROGRAMMED},
    {UpgradeResult::LeadSetupFailed, EXIT_LEAD_SETUP_FAILED},
    {UpgradeResult::HandshakeFailed, EXIT_HANDSHAKE_FAILED},
};

} // namespace

int upgradeExitCode(const UpgradeOutcome& outcome) {
    // A meter that answered the reset and then stopped is another case than one that never
    // answered: the first is waiting in its boot loader.
    if (outcome.result == UpgradeResult::HandshakeFailed &&
        outcome.phase == TransferPhase::Records) {
        return EXIT_TRANSFER_STOPPED;
    }
    for (const OutcomeRow& row : kOutcomes) {
        if (row.result == outcome.result) {
            return row.exitCode;
        }
    }
    return EXIT_FAILURE_OTHER;
}

} // namespace pxr7
