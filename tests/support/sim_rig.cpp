#include "sim_rig.h"

#include "bridge_library.h"

#include <cstdlib>

#include <dlfcn.h>
#include <unistd.h>

using namespace pxr7;

namespace simrig {

const char* simLibraryPath() {
    return PXR7_SIM_LIBRARY_PATH;
}

const char* incompleteSimLibraryPath() {
    return PXR7_SIM_INCOMPLETE_LIBRARY_PATH;
}

bool resetSimulator() {
    void* module = dlopen(simLibraryPath(), RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        return false;
    }
    using ResetFunction = void (*)();
    auto reset = reinterpret_cast<ResetFunction>(dlsym(module, "pxr7sim_reset"));
    if (reset != nullptr) {
        reset();
    }
    dlclose(module);
    return reset != nullptr;
}

SimRig::SimRig(const std::string& scenarioText) {
    if (files_.empty()) {
        return;
    }
    scenarioPath_ = files_.path("scenario.txt");
    tracePath_ = files_.path("trace.txt");
    writeFile(scenarioPath_, scenarioText);
    writeFile(tracePath_, "");
    setenv("PXR7_SIM_SCENARIO", scenarioPath_.c_str(), 1);
    setenv("PXR7_SIM_TRACE", tracePath_.c_str(), 1);
    ready_ = loadBridgeLibraryFrom(simLibraryPath()) && resetSimulator();
}

SimRig::~SimRig() {
    if (files_.empty()) {
        return;
    }
    // Leave the simulator pointing nowhere so nothing writes into a removed folder.
    unsetenv("PXR7_SIM_SCENARIO");
    unsetenv("PXR7_SIM_TRACE");
    resetSimulator();
}

bool SimRig::restart() {
    return resetSimulator();
}

void SimRig::rewriteScenario(const std::string& scenarioText) {
    writeFile(scenarioPath_, scenarioText);
}

void SimRig::clearTrace() {
    // The simulator appends, so truncating in place is safe.
    writeFile(tracePath_, "");
}

} // namespace simrig
