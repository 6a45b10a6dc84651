// The collector against fake stations on loopback and the rig's database: a live station's new
// lines arrive within a poll or two whatever the others do (an endless backlog, a 9 s answer, a
// station that never answers); answers over the size caps are refused before they are read,
// with the reason, and nothing of them is stored; a database away is said once a try, however
// many stations' threads meet it.
#include "collector.h"
#include "db_rig.h"
#include "fake_station.h"
#include "pg_connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace pxr7 {
namespace {

using test::FakeStation;
using test::StationMode;
using namespace std::chrono_literals;

class Events : public CollectObserver {
public:
    void collectEvent(const CollectEvent& event) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            EXPECT_FALSE(inside_) << "the observer is called from one thread at a time";
            inside_ = true;
            events_.push_back(event);
            times_.push_back(std::chrono::steady_clock::now());
        }
        // Long enough for a second thread to come in, were the calls not serialized.
        std::this_thread::yield();
        const std::lock_guard<std::mutex> lock(mutex_);
        inside_ = false;
        changed_.notify_all();
    }
    // Until times events are as wanted, or the deadline has passed.
    bool waitFor(const std::function<bool(const CollectEvent&)>& wanted,
                 std::chrono::milliseconds deadline, long times = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] {
            return std::count_if(events_.begin(), events_.end(), wanted) >= times;
        });
    }
    std::vector<CollectEvent> all() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    std::vector<std::chrono::steady_clock::time_point> times() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return times_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CollectEvent> events_;
    std::vector<std::chrono::steady_clock::time_point> times_;
    bool inside_ = false;
};

auto storedUpTo(const std::string& station, std::int64_t seq) {
    return [station, seq](const CollectEvent& e) {
        return e.kind == CollectEventKind::Stored && e.station == station && e.upToSeq >= seq;
    };
}

auto awayFor(const std::string& station, const std::string& words) {
    return [station, words](const CollectEvent& e) {
        return e.kind == CollectEventKind::StationAway && e.station == station &&
               e.reason.find(words) != std::string::npos;
    };
}

long long storedLines(const std::string& url) {
    PgConnection db;
    PgResult result;
    if (!db.connect(url).ok() || !db.exec("SELECT count(*) FROM record_lines", {}, &result).ok()) {
        return -1;
    }
    return std::stoll(result.text(0, 0));
}

TEST(Collector, ALiveStationsNewLinesArriveWhateverTheOthersDo) {
    PXR7_FRESH_DATABASE(url, "pxr7_collector_fair_test");
    FakeStation live(StationMode::Live, "live"), endless(StationMode::Endless, "endless"),
        slow(StationMode::Slow, "slow"), silent(StationMode::Silent, "silent");
    live.addLines(3);
    Events events;
    std::atomic<bool> stop{false};
    CollectSettings settings;
    settings.stations = {endless.url(), slow.url(), silent.url(), live.url()};
    settings.database = url;
    CollectResult result;
    std::thread collector(
        [&] { result = runCollector(settings, events, [&] { return stop.load(); }); });
    EXPECT_TRUE(events.waitFor(storedUpTo(live.url(), 3), 10s)) << "the live station's first lines";
    // Within a poll (1 s) and a page's fetch, each time: the others never take its turn.
    for (int round = 0; round < 3; ++round) {
        const std::int64_t seq = live.addLines(1);
        EXPECT_TRUE(events.waitFor(storedUpTo(live.url(), seq), 3s)) << "line " << seq;
    }
    EXPECT_TRUE(events.waitFor(storedUpTo(endless.url(), 1000), 10s)) << "the backlog goes on";
    // The deadline is for the whole request: a station that never answers is away after it.
    EXPECT_TRUE(events.waitFor(awayFor(silent.url(), "did not answer within 10 s"), 15s));
    stop = true;
    collector.join();
    EXPECT_EQ(result.outcome, CollectOutcome::Stopped);
}

TEST(Collector, AnswersOverTheCapsAreRefusedBeforeTheyAreRead) {
    PXR7_FRESH_DATABASE(url, "pxr7_collector_caps_test");
    FakeStation declared(StationMode::HugeDeclared, "declared"),
        chunked(StationMode::HugeChunked, "chunked"), overPage(StationMode::OverPage, "over"),
        longLine(StationMode::LongLine, "long"), live(StationMode::Live, "live");
    live.addLines(2);
    Events events;
    CollectSettings settings;
    settings.stations = {declared.url(), chunked.url(), overPage.url(), longLine.url(), live.url()};
    settings.database = url;
    settings.once = true;
    const CollectResult result = runCollector(settings, events, {});
    EXPECT_EQ(result.outcome, CollectOutcome::StationsAway);
    const std::pair<const FakeStation*, const char*> reasons[] = {
        {&declared, "its answer is 209715200 bytes, over the 32 MiB"},
        {&chunked, "its answer runs over the 32 MiB"},
        {&overPage, "holds 501 lines, more than the 500 asked for"},
        {&longLine, "bytes, over the 4 MiB a record line may be"},
    };
    std::string said;
    for (const CollectEvent& event : events.all()) {
        said += event.station + ": " + event.reason + "\n";
    }
    for (const auto& [station, words] : reasons) {
        EXPECT_TRUE(events.waitFor(awayFor(station->url(), words), 0ms)) << words << "\n" << said;
    }
    // What the socket buffers took before the collector hung up is all that was sent.
    EXPECT_LT(declared.bodyBytesSent(), 16u << 20);
    EXPECT_LT(chunked.bodyBytesSent(), 48u << 20);
    EXPECT_EQ(storedLines(url), 2) << "only the live station's lines";
}

// Three stations' threads meet the same outage: it is said once a try, each time naming why.
TEST(Collector, ADatabaseAwayIsSaidOnceATryWhateverTheStations) {
    Events events;
    std::atomic<bool> stop{false};
    CollectSettings settings;
    settings.stations = {"http://127.0.0.1:1", "http://127.0.0.1:2", "http://127.0.0.1:3"};
    settings.database = "postgresql://pxr7@nohost.invalid/pxr7";
    std::thread collector([&] { runCollector(settings, events, [&] { return stop.load(); }); });
    const auto away = [](const CollectEvent& e) {
        return e.kind == CollectEventKind::DatabaseAway;
    };
    EXPECT_TRUE(events.waitFor(away, 10s, 2)) << "tried again after 1 s";
    stop = true;
    collector.join();
    std::vector<int> retries;
    for (const CollectEvent& event : events.all()) {
        EXPECT_TRUE(event.kind == CollectEventKind::DatabaseAway) << "no station is polled";
        EXPECT_NE(event.reason.find("could not translate host name \"nohost.invalid\""),
                  std::string::npos)
            << event.reason;
        retries.push_back(event.retrySeconds);
    }
    ASSERT_GE(retries.size(), 2u);
    EXPECT_EQ(std::vector<int>(retries.begin(), retries.begin() + 2), (std::vector<int>{1, 2}));
    // The second is the next try's, after the backoff, not another station's of the first try.
    const auto times = events.times();
    EXPECT_GE(times[1] - times[0], 900ms);
}

} // namespace
} // namespace pxr7
