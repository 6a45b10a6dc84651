// The server's parts that need no socket: how it shares its connections among addresses, and
// its workers' bound.
#include "connection_limit.h"
#include "gate.h"
#include "work_pool.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include <atomic>

namespace pxr7 {
namespace {

TEST(ConnectionLimit, KeepsSlotsForAddressesThatHoldNone) {
    ConnectionLimit limit(ConnectionBounds{6, 2, 1});
    const struct {
        const char* address;
        bool admit; // false: release
        bool taken;
    } steps[] = {
        {"a", true, true},  {"a", true, true},  {"a", true, false}, // its share
        {"b", true, true},  {"b", true, true},  {"c", true, true},
        {"c", true, false}, // the last slot is kept for an address that holds none
        {"d", true, true},  {"e", true, false}, // full
        {"a", false, true}, {"c", true, false}, // a slot free, but still the one kept
        {"e", true, true},  {"e", false, true}, {"e", false, true}, // a second release: nothing
        {"f", true, true},
    };
    for (const auto& step : steps) {
        if (step.admit) {
            EXPECT_EQ(limit.admit(step.address), step.taken) << step.address << " " << limit.held();
        } else {
            limit.release(step.address);
        }
    }
    EXPECT_EQ(limit.held(), 6u);
}

TEST(WorkPool, RefusesOnlyNewWorkBeyondItsBound) {
    WorkPool pool(1, 1);
    Gate gate;
    std::atomic<int> ran{0};
    ASSERT_TRUE(pool.submit([&] {
        gate.pass();
        ++ran;
    }));
    ASSERT_TRUE(gate.awaitArrivals(1));
    EXPECT_TRUE(pool.submit([&] { ++ran; }));  // waits its turn
    EXPECT_FALSE(pool.submit([&] { ++ran; })); // one too many
    EXPECT_TRUE(pool.submit([&] { ++ran; }, WorkPool::Admit::Always));
    Gate done;
    EXPECT_TRUE(pool.submit([&] { done.pass(); }, WorkPool::Admit::Always));
    gate.open();
    ASSERT_TRUE(done.awaitArrivals(1));
    done.open();
    pool.stop();
    EXPECT_EQ(ran, 3);
    EXPECT_FALSE(pool.submit([] {}, WorkPool::Admit::Always)); // stopped
}

// However many exports have their next chunk waiting, a page's request is taken and goes first.
TEST(WorkPool, ARequestGoesBeforeTheChunksOfExportsUnderWay) {
    WorkPool pool(1, 2);
    Gate gate;
    std::mutex mutex;
    std::string order;
    auto note = [&](char what) {
        std::lock_guard<std::mutex> lock(mutex);
        order += what;
    };
    ASSERT_TRUE(pool.submit([&] { gate.pass(); }));
    ASSERT_TRUE(gate.awaitArrivals(1));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(pool.submit([&] { note('c'); }, WorkPool::Admit::Always));
    }
    EXPECT_TRUE(pool.submit([&] { note('r'); })); // five chunks wait: still taken
    Gate done;
    ASSERT_TRUE(pool.submit([&] { done.pass(); }, WorkPool::Admit::Always));
    gate.open();
    ASSERT_TRUE(done.awaitArrivals(1));
    done.open();
    pool.stop();
    EXPECT_EQ(order, "rccccc");
}

} // namespace
} // namespace pxr7
