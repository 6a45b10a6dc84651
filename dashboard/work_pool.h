// A few threads for the work that may wait on a file or the database, so that the server's I/O
// thread never does. A request that has not begun goes before the next part of work already
// under way (an export's next chunk), so that many exports, slow or not, leave a page quick;
// each kind runs in the order given. The bound applies to requests alone, so that a busy
// server says so at once instead of making everyone wait.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pxr7 {

class WorkPool {
public:
    using Task = std::function<void()>;
    enum class Admit {
        Bounded, // refused when maxWaiting tasks already wait
        Always,  // the next part of work already admitted (a body's next chunk)
    };

    WorkPool(std::size_t threads, std::size_t maxWaiting);
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // False when the task was refused (the queue is full, or the pool has stopped).
    bool submit(Task task, Admit admit = Admit::Bounded);
    // Waits for the tasks under way to end; those still waiting are dropped.
    void stop();

private:
    void run();

    std::size_t maxWaiting_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> requests_, continued_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace pxr7
