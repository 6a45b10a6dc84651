#include "work_pool.h"

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
        if (stopping_ || (admit == Admit::Bounded && waiting_.size() >= maxWaiting_)) {
            return false;
        }
        waiting_.push_back(std::move(task));
    }
    wake_.notify_one();
    return true;
}

void WorkPool::stop() {
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        dropped.swap(waiting_);
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
        wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        Task task = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        task();
        task = nullptr; // what it holds goes before the next wait
        lock.lock();
    }
}

} // namespace pxr7
