#include "bench_figures.h"

#include "history_query.h"

#include <cstdio>

namespace pxr7 {

namespace {

// Days since 1970-01-01 of a civil date, and back (the proleptic Gregorian calendar).
long daysFromCivil(long year, long month, long day) {
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::string civilFromDays(long days) {
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long dayOfEra = days - era * 146097;
    const long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long monthIndex = (5 * dayOfYear + 2) / 153;
    const long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long month = monthIndex + (monthIndex < 10 ? 3 : -9);
    const long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld", year, month, day);
    return text;
}

} // namespace

std::string dayBefore(const std::string& day, int days) {
    if (!isDay(day)) {
        return day;
    }
    const long count = daysFromCivil(std::stol(day.substr(0, 4)), std::stol(day.substr(5, 2)),
                                     std::stol(day.substr(8, 2)));
    return civilFromDays(count - days);
}

JsonValue benchFiguresJson(const BenchSummary& bench) {
    const HistorySummary& summary = bench.summary;
    const std::optional<double> yield = yieldOf(summary.counts);
    JsonValue json = {{"bench", jsonText(bench.bench)},
                      {"ok", summary.counts.ok},
                      {"current", summary.counts.current},
                      {"failed", summary.counts.failed},
                      {"yield", yield ? jsonDecimal3(*yield) : JsonValue(nullptr)}};
    json["median_seconds"] =
        summary.medianSeconds ? jsonDecimal3(*summary.medianSeconds) : JsonValue(nullptr);
    json["falling"] = JsonValue::array();
    for (const SummaryGroup& lane : summary.lanes) {
        const std::optional<double> laneYield = yieldOf(lane.counts);
        if (lane.falling && laneYield) {
            json["falling"].push_back({{"lane", jsonText(lane.key)},
                                       {"yield", jsonDecimal3(*laneYield)},
                                       {"failed", lane.counts.failed},
                                       {"meters", lane.counts.outcomes()}});
        }
    }
    return json;
}

BenchFigures::BenchFigures(OverviewSource& stations, BenchFiguresSettings settings)
    : stations_(stations), settings_(std::move(settings)) {}

BenchFigures::~BenchFigures() {
    stop();
}

void BenchFigures::start() {
    thread_ = std::thread([this] { poll(); });
}

void BenchFigures::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void BenchFigures::refresh() {
    const std::string from = dayBefore(settings_.now().substr(0, 10), settings_.days - 1);
    std::vector<BenchSummary> benches;
    std::string problem;
    const bool read = settings_.ask && settings_.ask(from, benches, problem);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!read && figures_.is_object()) {
        figures_["problem"] = jsonText(problem); // the figures as they were, and why not newer
        return;
    }
    JsonValue figures = {{"from", from}, {"days", settings_.days}, {"benches", JsonValue::array()}};
    for (const BenchSummary& bench : benches) {
        figures["benches"].push_back(benchFiguresJson(bench));
    }
    figures["problem"] = read ? JsonValue(nullptr) : jsonText(problem);
    figures_ = std::move(figures);
}

void BenchFigures::poll() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        refresh();
        lock.lock();
        wake_.wait_for(lock, settings_.interval, [this] { return stopping_; });
    }
}

std::string BenchFigures::overviewJson() {
    JsonValue json = parseJsonLine(stations_.overviewJson());
    if (!json.is_object()) {
        json = JsonValue::object();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    json["benches"] = figures_.is_object() ? figures_ : JsonValue(nullptr);
    return jsonLine(json);
}

} // namespace pxr7
