// The overview of several stations: a thread per station asks it for its snapshot every
// interval, so a station that is away (each wait is bounded by the timeout) never holds up the
// others, and a page reads the rows as they were last seen without waiting for any station.
#pragma once

#include "history_source.h"
#include "http_fetch.h"
#include "station_row.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pxr7 {

struct OverviewSettings {
    std::chrono::milliseconds interval{2000};
    std::chrono::milliseconds timeout{2000};
    // Asks a station (its URL) for its snapshot; the HTTP GET of http_fetch.h unless replaced.
    std::function<bool(const std::string& station, std::string& body, std::string& problem)> ask;
    StationAccess access; // the stations' read key and certificates, for that GET
};

class StationOverview : public OverviewSource {
public:
    StationOverview(std::vector<std::string> stations, OverviewSettings settings);
    ~StationOverview() override;
    StationOverview(const StationOverview&) = delete;
    StationOverview& operator=(const StationOverview&) = delete;

    void start();
    void stop();
    std::string overviewJson() override;
    std::vector<StationRow> rows();

private:
    void poll(std::size_t index);

    OverviewSettings settings_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<bool> cancel_{false}; // ends the requests under way at a stop
    std::vector<StationRow> rows_;
    std::vector<std::thread> threads_;
};

} // namespace pxr7
