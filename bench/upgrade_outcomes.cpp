#include "upgrade_outcomes.h"

namespace pxr7 {

namespace {

struct OutcomeRow {
    UpgradeResult result;
    Outcome outcome;
};

constexpr OutcomeRow kOutcomes[] = {
    {UpgradeResult::Completed, Outcome::Ok},
    {UpgradeResult::Cancelled, Outcome::Cancelled},
    {UpgradeResult::NoDriver, Outcome::NoDriver},
    {UpgradeResult::ImageNotChosen, Outcome::FailureOther},
    {UpgradeResult::ImageNotFound, Outcome::ImageProblem},
    {UpgradeResult::ImageEmpty, Outcome::ImageProblem},
    {UpgradeResult::ImageCannotLoad, Outcome::ImageProblem},
    {UpgradeResult::ImageCannotLock, Outcome::ImageProblem},
    {UpgradeResult::ImageAltered, Outcome::ImageProblem},
    {UpgradeResult::OutOfMemory, Outcome::ImageProblem},
    {UpgradeResult::PortError, Outcome::PortError},
    {UpgradeResult::NotAMeterLead, Outcome::NotAMeterLead},
    {UpgradeResult::LeadReprogrammed, Outcome::BridgeReprogrammed},
    {UpgradeResult::LeadSetupFailed, Outcome::LeadSetupFailed},
    {UpgradeResult::HandshakeFailed, Outcome::HandshakeFailed},
};

} // namespace

Outcome outcomeOfUpgrade(const UpgradeOutcome& outcome) {
    // A meter that answered the reset and then stopped is another case than one that never
    // answered: the first is waiting in its boot loader.
    if (outcome.result == UpgradeResult::HandshakeFailed &&
        outcome.phase == TransferPhase::Records) {
        return Outcome::TransferStopped;
    }
    for (const OutcomeRow& row : kOutcomes) {
        if (row.result == outcome.result) {
            return row.outcome;
        }
    }
    return Outcome::FailureOther;
}

} // namespace pxr7
