// One simulated bench per bridge backend, behind one small interface, so the same contract
// cases run against every backend: the D2XX simulator bound through the program's own binding,
// and libftdi1 over the USB-level simulated FT232R. One rig at a time per process.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

namespace contract {

class BackendRig {
public:
    virtual ~BackendRig() = default;
    // The simulator read the scenario and d2xx() reaches this backend.
    virtual bool ready() const = 0;
    virtual void clearTrace() = 0;
    // Whether the calls made since clearTrace() (calls of them) all stopped short of a bridge.
    virtual testing::AssertionResult reachedNoBridge(int calls) const = 0;
    // How often a bridge's latency timer was set since clearTrace().
    virtual int latencyTimerSettings() const = 0;
    // The backend's own words about its last failure, "" if it keeps none.
    virtual std::string lastError() const = 0;
};

struct Backend {
    const char* name;
    std::unique_ptr<BackendRig> (*make)(const std::string& scenario);
    // What lastError() contains after a refused open and after a pulled lead (null: nothing
    // asked of it), and whether a pulled lead leaves the list of bridges.
    const char* refusedAccessHint;
    const char* vanishedHint;
    bool pulledLeadLeavesTheList;
};

// Test names and messages show the backend by its name.
inline void PrintTo(const Backend& backend, std::ostream* out) {
    *out << backend.name;
}

Backend d2xxSimulator();
#if defined(PXR7_CONTRACT_WITH_LIBFTDI)
Backend libftdiOverUsbSimulator();
#endif

} // namespace contract
