// The benches' figures beside the stations on pxr7 serve's overview: a thread asks the
// database for every bench's figures over the last days every interval, and /api/overview
// answers with the stations' rows and the figures as last read, without waiting for either.
#pragma once

#include "history_source.h"
#include "history_summary.h"
#include "record.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pxr7 {

struct BenchFiguresSettings {
    std::chrono::milliseconds interval{10000};
    int days = 7; // today (UTC) and the days before it
    // Every bench's figures over the lines finished on from (YYYY-MM-DD) or later; false with
    // the reason when they cannot be read now.
    std::function<bool(const std::string& from, std::vector<BenchSummary>& out,
                       std::string& problem)>
        ask;
    std::function<std::string()> now = utcNow; // UTC ISO 8601
};

class BenchFigures : public OverviewSource {
public:
    BenchFigures(OverviewSource& stations, BenchFiguresSettings settings);
    ~BenchFigures() override;
    BenchFigures(const BenchFigures&) = delete;
    BenchFigures& operator=(const BenchFigures&) = delete;

    void start();
    void stop();
    // The stations' overview with "benches" and "benches_window" (docs/json.md).
    std::string overviewJson() override;
    // Reads the figures once, now (the thread does so every interval).
    void refresh();

private:
    void poll();

    OverviewSource& stations_;
    BenchFiguresSettings settings_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    JsonValue figures_; // {"from", "days", "benches", "problem"}; null before the first read
    std::thread thread_;
};

// The day (YYYY-MM-DD) days before day; day itself when it is no date.
std::string dayBefore(const std::string& day, int days);

// One bench's row of the overview: its counts, yield, median time and the lanes falling.
JsonValue benchFiguresJson(const BenchSummary& bench);

} // namespace pxr7
