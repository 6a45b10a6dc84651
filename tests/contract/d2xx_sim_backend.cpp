// The D2XX simulator (sim/) loaded through link/bridge_library: every call is traced, and one
// refused for its handle names no bridge ("bridge=?") and carries status 1.
#include "backend_rig.h"
#include "sim_rig.h"

namespace contract {

namespace {

class SimBackendRig : public BackendRig {
public:
    explicit SimBackendRig(const std::string& scenario) : rig_(scenario) {}

    bool ready() const override { return rig_.ready(); }
    void clearTrace() override { rig_.clearTrace(); }

    testing::AssertionResult reachedNoBridge(int calls) const override {
        const auto trace = rig_.trace();
        if (static_cast<int>(trace.size()) != calls) {
            return testing::AssertionFailure()
                   << trace.size() << " calls traced, " << calls << " made";
        }
        for (const std::string& line : trace) {
            if (simrig::valueOf(line, "bridge") != "?" || simrig::valueOf(line, "status") != "1") {
                return testing::AssertionFailure() << "reached a bridge: " << line;
            }
        }
        return testing::AssertionSuccess();
    }

    int latencyTimerSettings() const override {
        return simrig::countCalls(rig_.trace(), "FT_SetLatencyTimer");
    }

    std::string lastError() const override { return ""; }

private:
    simrig::SimRig rig_;
};

std::unique_ptr<BackendRig> makeSimRig(const std::string& scenario) {
    return std::make_unique<SimBackendRig>(scenario);
}

} // namespace

Backend d2xxSimulator() {
    return Backend{"D2xxSimulator", makeSimRig, nullptr, nullptr, false};
}

} // namespace contract
