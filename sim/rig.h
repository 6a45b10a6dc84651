// The whole simulated rig: the bridges of the scenario, the handle table and the trace, behind
// one mutex. Calls may come from several threads (one per bridge, say); each is served whole,
// and only a read waiting for its bytes lets go of the mutex meanwhile. Handles are opaque tokens
// looked up in the table and never dereferenced; they are never reused, so a stale handle can never
// reach another bridge.
#pragma once

#include "bridge.h"
#include "d2xx_types.h"
#include "scenario.h"
#include "trace_log.h"
#include "unit_log.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace sim {

class Rig {
public:
    struct Handle {
        int bridge;
        bool dead; // the bridge was cycled under it; only FT_Close is still useful
    };

    // Reads the scenario, the state file and the trace path from the environment on first use.
    void ensureLoaded();
    // Forgets every handle and all state, and reads the environment again.
    void reload();

    std::mutex& mutex() { return mutex_; }
    // Waits, with the lock released, until the time when or until another call has finished:
    // a read sees at once what a call from another thread changed (a write on its handle, a
    // purge, a close, a cycle, a reset).
    void waitForChange(std::unique_lock<std::mutex>& lock, Micros when) {
        waitUntil(changed_, lock, when);
    }
    // Called, with the lock held, at the end of every call.
    void changed() { changed_.notify_all(); }
    TraceLog& trace() { return trace_; }
    const Scenario& scenario() const { return scenario_; }

    // Bridges present on the bus now, in bus order; device indices count these.
    std::vector<int> presentBridges(Micros now) const;
    Bridge& bridge(int index) { return *bridges_[static_cast<std::size_t>(index)]; }
    // FT_CreateDeviceInfoList: the bridges present now, kept until the next list is made.
    const std::vector<int>& makeInfoList(Micros now) {
        infoList_ = presentBridges(now);
        return *infoList_;
    }
    const std::optional<std::vector<int>>& infoList() const { return infoList_; }

    FT_HANDLE issueHandle(int bridgeIndex);
    // The table entry for a handle, or null for null, closed and unknown handles.
    Handle* lookup(FT_HANDLE handle);
    void release(FT_HANDLE handle);
    void killHandlesOf(int bridgeIndex);

    // Writes the state file, if the scenario names one.
    void saveState();

private:
    void load();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool loaded_ = false;
    bool reloaded_ = false;
    Micros origin_ = 0;
    TraceLog trace_;
    UnitLog units_;
    Scenario scenario_;
    std::vector<std::unique_ptr<Bridge>> bridges_;
    std::map<std::uintptr_t, Handle> handles_;
    std::optional<std::vector<int>> infoList_;
};

// The one rig of this library.
Rig& theRig();

} // namespace sim
