#include "upgrade_plan.h"

#include "bridge_texts.h"
#include "lead_command.h"
#include "lead_setup_steps.h"
#include "printable.h"

namespace pxr7 {

namespace {

MeterRun currentRun(const BridgeReport& lead) {
    MeterRun run = meterRunFor(lead);
    run.versionAfter = run.versionBefore;
    run.endCurrent();
    return run;
}

MeterRun failedRun(const BridgeReport& report, const CommandResult& why) {
    MeterRun run = meterRunFor(report);
    run.endWith(why.outcome);
    run.diagnosis = why.diagnosis;
    return run;
}

// A bridge that could not be looked at may be a meter lead: --all says so, never skips it.
void planUnreached(const BridgeReport& report, UpgradePlan& plan) {
    const std::string bridge = "pxr7: bridge " + std::to_string(report.identity.index);
    if (report.state == BridgeState::Busy) {
        plan.settled.push_back(failedRun(
            report, failure(Outcome::Busy, bridge + " could not be opened, so it may be a "
                                                    "meter lead that was not upgraded.")));
    } else {
        plan.settled.push_back(failedRun(
            report, failure(Outcome::PortError, bridge + " left the bus while it was looked at.")));
    }
}

UpgradePlan planAll(const std::vector<BridgeReport>& reports, const UpgradeRequest& request) {
    UpgradePlan plan;
    for (const BridgeReport& report : reports) {
        if (report.state == BridgeState::Busy || report.state == BridgeState::Gone) {
            planUnreached(report, plan);
        } else if (!isLeadReport(report)) {
            continue;
        } else if (cannotBeToldApart(report)) {
            plan.settled.push_back(failedRun(report, lookAlikeRefusal(report)));
        } else if (report.state == BridgeState::NeedsSetup) {
            plan.setUp.push_back(report);
        } else if (request.skipIfCurrent && isCurrent(report, request.declaredVersion)) {
            plan.settled.push_back(currentRun(report));
        } else {
            plan.upgrade.push_back(report);
        }
    }
    if (plan.upgrade.empty() && plan.settled.empty() && plan.setUp.empty()) {
        plan.refusal = failure(Outcome::NotAMeterLead, "pxr7: no PXR7 meter lead is connected.");
    }
    return plan;
}

} // namespace

bool isCurrent(const BridgeReport& lead, const std::string& declaredVersion) {
    return !declaredVersion.empty() && lead.state == BridgeState::MeterAnswered &&
           lead.version == declaredVersion;
}

std::string setupCommandFor(const BridgeReport& lead) {
    return commandForLead("setup", lead.identity);
}

MeterRun needsSetupRun(const BridgeReport& lead) {
    const std::string bridge = printable(lead.identity.serialNumber) + " (bridge " +
                               std::to_string(lead.identity.index) + ")";
    const std::string what = sameDescription(lead.identity.description, kFactoryBridgeDescription)
                                 ? bridge + " is a " + kFactoryFreshText
                                 : "the lead " + bridge + " needs its EEPROM set up first";
    return failedRun(lead, failure(Outcome::NeedsSetup, "pxr7: " + what +
                                                            "; nothing was written. If it is the "
                                                            "meter's lead, run: " +
                                                            setupCommandFor(lead) +
                                                            " (or add --setup)."));
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

void replanAfterSetup(UpgradePlan& plan, BridgeReport lead, const CommandResult& setup,
                      const UpgradeRequest& request) {
    MeterRun run = meterRunFor(lead);
    if (!setup.ok()) {
        run.endWith(setup.outcome);
        run.diagnosis = setup.diagnosis;
    } else if (!surveyLeadAgain(lead)) {
        run.endWith(Outcome::BridgeReprogrammed);
        run.diagnosis = "pxr7: the lead did not come back after its setup: reconnect it and "
                        "run upgrade again.";
    }
    if (run.code() != Outcome::Ok) {
        plan.settled.push_back(run);
        return;
    }
    const UpgradePlan again = planUpgrade({lead}, request);
    plan.upgrade.insert(plan.upgrade.end(), again.upgrade.begin(), again.upgrade.end());
    plan.settled.insert(plan.settled.end(), again.settled.begin(), again.settled.end());
}

} // namespace pxr7
