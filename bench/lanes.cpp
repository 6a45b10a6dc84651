#include "lanes.h"

#include "exit_codes.h"

#include <thread>

namespace pxr7 {

std::vector<MeterRun> runLanes(const std::vector<BridgeReport>& leads, const RunSettings& settings,
                               LanesObserver& observer, const StopCheck& stop) {
    std::vector<MeterRun> runs;
    for (const BridgeReport& lead : leads) {
        runs.push_back(meterRunFor(lead));
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < leads.size(); ++i) {
        LaneObserver& lane = observer.lane(i);
        threads.emplace_back([&, i] {
            runMeter(leads[i], settings, lane, stop, runs[i]);
            observer.laneDone(i, runs[i]);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return runs;
}

int combinedExitCode(const std::vector<MeterRun>& runs) {
    for (const MeterRun& run : runs) {
        if (run.exitCode != EXIT_OK) {
            return run.exitCode;
        }
    }
    return EXIT_OK;
}

} // namespace pxr7
