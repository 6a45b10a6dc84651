// Drives the simulated bridge library (sim/) from GoogleTest: writes a scenario into a fresh
// folder, points the simulator at it, binds the library through the program's own binding and
// gives back the call trace. One SimRig at a time per process: the environment and the
// simulator are process-wide.
#pragma once

#include "rig_files.h"

#include <string>
#include <vector>

namespace simrig {

// Paths of the simulator builds: the whole library and the one lacking FT_CyclePort.
const char* simLibraryPath();
const char* incompleteSimLibraryPath();

class SimRig {
public:
    // Writes scenarioText as scenario.txt into a new folder, sets PXR7_SIM_SCENARIO and
    // PXR7_SIM_TRACE (trace.txt in the same folder), binds the simulator with
    // loadBridgeLibraryFrom and resets it so it reads the new scenario. ready() tells whether
    // all of that worked.
    explicit SimRig(const std::string& scenarioText);
    ~SimRig();
    SimRig(const SimRig&) = delete;
    SimRig& operator=(const SimRig&) = delete;

    bool ready() const { return ready_; }

    // Resets the simulator: every handle and all in-memory state are gone and the scenario is
    // read again, as at the start of a new program run on the same rig (state file included).
    bool restart();
    // Replaces the scenario text (takes effect at the next restart()).
    void rewriteScenario(const std::string& scenarioText);

    const std::string& folder() const { return files_.folder(); }
    // A path inside the rig's folder, for captures and state files the scenario names.
    std::string path(const std::string& name) const { return files_.path(name); }
    const std::string& scenarioPath() const { return scenarioPath_; }
    const std::string& tracePath() const { return tracePath_; }

    // The trace so far, one entry per call; clearTrace() empties it.
    std::vector<std::string> trace() const { return traceLines(tracePath_); }
    void clearTrace();

private:
    ScratchFolder files_;
    std::string scenarioPath_;
    std::string tracePath_;
    bool ready_ = false;
};

// Calls pxr7sim_reset in the loaded simulator; false if it is not loaded.
bool resetSimulator();

} // namespace simrig
