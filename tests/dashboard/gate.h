// A gate for the tests' threads: whoever passes it waits until the test opens it, and the test
// can wait for them to arrive, so nothing waits on a fixed sleep.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pxr7 {

// Holds whoever waits on it until the test opens it, and counts who came.
class Gate {
public:
    void pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool awaitArrivals(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return arrived_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0;
    bool open_ = false;
};

} // namespace pxr7
