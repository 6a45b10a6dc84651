#include "lanes.h"

#include "device_bus.h"
#include "exit_codes.h"
#include "meter_job.h"

#include <thread>

namespace pxr7 {

std::vector<MeterRun> runLanes(const std::vector<BridgeReport>& leads, const RunSettings& settings,
                               LanesObserver& observer, const StopCheck& stop, UnitLedger& ledger) {
    std::vector<MeterRun> runs(leads.size());
    DeviceBus bus;
    JobSettings job;
    job.declaredVersion = settings.declaredVersion;
    job.verify = settings.verify;
    job.currentIsDone = false; // the plan decided what is current
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < leads.size(); ++i) {
        LaneObserver& lane = observer.lane(i);
        threads.emplace_back([&, i] {
            BridgeIdentity lead = leads[i].identity;
            const bool answered = leads[i].state == BridgeState::MeterAnswered;
            MeterJob meter(bus, job, lane, stop, ledger);
            runs[i] = meter.serve(
                lead, answered ? std::optional<std::string>(leads[i].version) : std::nullopt,
                meterRunFor(leads[i]));
            observer.laneDone(i, runs[i]);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return runs;
}

Outcome combinedOutcome(const std::vector<MeterRun>& runs) {
    for (const MeterRun& run : runs) {
        if (run.code() != Outcome::Ok) {
            return run.code();
        }
    }
    return Outcome::Ok;
}

} // namespace pxr7
