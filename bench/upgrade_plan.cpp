#include "upgrade_plan.h"

#include "printable.h"

namespace pxr7 {

namespace {

MeterRun currentRun(const BridgeReport& lead) {
    MeterRun run = meterRunFor(lead);
    run.versionAfter = run.versionBefore;
    return run;
}

// Every lead at once: leads that need setup are reported, not set up.
UpgradePlan planAll(const std::vector<BridgeReport>& reports, const UpgradeRequest& request) {
    UpgradePlan plan;
    for (const BridgeReport& report : reports) {
        if (report.state == BridgeState::NeedsSetup) {
            MeterRun run = meterRunFor(report);
            run.exitCode = EXIT_BRIDGE_REPROGRAMMED;
            run.diagnosis = "pxr7: the lead " + printable(run.serial) +
                            " needs setting up first: pxr7 setup --serial " + printable(run.serial);
            plan.settled.push_back(run);
        } else if (isLeadReport(report)) {
            if (request.skipIfCurrent && isCurrent(report, request.declaredVersion)) {
                plan.settled.push_back(currentRun(report));
            } else {
                plan.upgrade.push_back(report);
            }
        }
    }
    if (plan.upgrade.empty() && plan.settled.empty()) {
        plan.refusal = failure(EXIT_NOT_A_METER_LEAD, "pxr7: no PXR7 meter lead is connected.");
    }
    return plan;
}

} // namespace

bool isCurrent(const BridgeReport& lead, const std::string& declaredVersion) {
    return !declaredVersion.empty() && lead.state == BridgeState::MeterAnswered &&
           lead.version == declaredVersion;
}

UpgradePlan planUpgrade(const std::vector<BridgeReport>& reports, const UpgradeRequest& request) {
    if (request.selection.all) {
        return planAll(reports, request);
    }
    UpgradePlan plan;
    const TargetChoice choice = chooseTarget(reports, request.selection);
    if (choice.target == nullptr) {
        plan.refusal = choice.result;
    } else if (choice.target->state == BridgeState::NeedsSetup) {
        plan.setUp.push_back(*choice.target);
    } else if (request.skipIfCurrent && isCurrent(*choice.target, request.declaredVersion)) {
        plan.settled.push_back(currentRun(*choice.target));
    } else {
        plan.upgrade.push_back(*choice.target);
    }
    return plan;
}

} // namespace pxr7
