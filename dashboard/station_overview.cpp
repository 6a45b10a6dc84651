#include "station_overview.h"

#include "http_fetch.h"
#include "record.h"

namespace pxr7 {

StationOverview::StationOverview(std::vector<std::string> stations, OverviewSettings settings)
    : settings_(std::move(settings)) {
    for (std::string& station : stations) {
        StationRow row;
        row.station = std::move(station);
        rows_.push_back(std::move(row));
    }
    if (!settings_.ask) {
        const std::chrono::milliseconds timeout = settings_.timeout;
        settings_.ask = [this, timeout, access = settings_.access](
                            const std::string& station, std::string& body, std::string& problem) {
            return httpGet(station, "/api/snapshot", timeout, body, problem, &cancel_, 16u << 20,
                           access);
        };
    }
}

StationOverview::~StationOverview() {
    stop();
}

void StationOverview::start() {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        threads_.emplace_back([this, i] { poll(i); });
    }
}

void StationOverview::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    cancel_ = true;
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void StationOverview::poll(std::size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::string station = rows_[index].station;
    while (!stopping_) {
        lock.unlock();
        std::string body, problem;
        const bool answered = settings_.ask(station, body, problem);
        const std::string now = utcNow();
        lock.lock();
        if (!answered) {
            markAway(rows_[index], problem, now);
        } else {
            takeSnapshot(rows_[index], body, now);
        }
        wake_.wait_for(lock, settings_.interval, [this] { return stopping_; });
    }
}

std::string StationOverview::overviewJson() {
    return pxr7::overviewJson(rows());
}

std::vector<StationRow> StationOverview::rows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_;
}

} // namespace pxr7
