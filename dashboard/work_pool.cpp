#include "work_pool.h"

#include <iterator>

namespace pxr7 {

WorkPool::WorkPool(std::size_t threads, std::size_t maxWaiting) : maxWaiting_(maxWaiting) {
    for (std::size_t i = 0; i < (threads == 0 ? 1 : threads); ++i) {
        threads_.emplace_back([this] { run(); });
    }
}

WorkPool::~WorkPool() {
    stop();
}

bool WorkPool::submit(Task task, Admit admit) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool request = admit == Admit::Bounded;
        if (stopping_ || (request && requests_.size() >= maxWaiting_)) {
            return false;
        }
        (request ? requests_ : continued_).push_back(std::move(task));
    }
    wake_.notify_one();
    return true;
}

void WorkPool::stop() {
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        dropped.swap(requests_);
        dropped.insert(dropped.end(), std::make_move_iterator(continued_.begin()),
                       std::make_move_iterator(continued_.end()));
        continued_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void WorkPool::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !requests_.empty() || !continued_.empty(); });
        if (stopping_) {
            return;
        }
        std::deque<Task>& next = requests_.empty() ? continued_ : requests_;
        Task task = std::move(next.front());
        next.pop_front();
        lock.unlock();
        task();
        task = nullptr; // what it holds goes before the next wait
        lock.lock();
    }
}

} // namespace pxr7
