// Small records and the figures their history's "summary" must give, for both sources (the
// record file in tests/dashboard, the database in tests/serve): each case is a few lines, what
// they count to, and the order the lists must come in.
#pragma once

#include "json_text.h"
#include "record.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pxr7::test {

struct CaseLine {
    std::string finished, lane, result;
    double seconds;
};

struct SummaryCase {
    const char* name;
    std::vector<CaseLine> lines;
    std::int64_t ok, current, failed;
    std::optional<double> yield;
    std::vector<std::string> days;    // "DAY ok/current/failed", newest first
    std::vector<std::string> falling; // the lanes marked
    std::vector<std::string> reasons; // "word:count", in order
    std::optional<double> median;
};

inline std::vector<CaseLine> repeated(int count, const std::string& finished,
                                      const std::string& lane, const std::string& result) {
    return std::vector<CaseLine>(static_cast<std::size_t>(count), {finished, lane, result, 30});
}

inline std::vector<CaseLine> joined(std::vector<std::vector<CaseLine>> parts) {
    std::vector<CaseLine> all;
    for (auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const char kDay1[] = "2026-12-08T10:00:00Z";

inline std::vector<SummaryCase> summaryCases() {
    const std::string longName(200, 'x');
    return {
        {"empty", {}, 0, 0, 0, std::nullopt, {}, {}, {}, std::nullopt},
        {"all stopped",
         {{kDay1, "A", "interrupted", 5}, {kDay1, "A", "terminated", 7}},
         0,
         0,
         0,
         std::nullopt,
         {},
         {},
         {},
         std::nullopt},
        {"one lane",
         {{kDay1, "A", "ok", 10},
          {kDay1, "A", "ok", 20},
          {kDay1, "A", "current", 40},
          {kDay1, "A", "busy", 50},
          {kDay1, "A", "hangup", 99}},
         2,
         1,
         1,
         0.75,
         {"2026-12-08 2/1/1"},
         {},
         {"busy:1"},
         30},
        {"a lane whose failures rise",
         joined({repeated(25, kDay1, "F", "ok"), repeated(10, kDay1, "F", "handshake_timeout"),
                 repeated(99, kDay1, "A", "ok"), repeated(1, kDay1, "A", "busy"),
                 repeated(99, kDay1, "B", "ok"), repeated(1, kDay1, "B", "busy"),
                 repeated(3, kDay1, "S", "meter_silent"), repeated(2, kDay1, "S", "ok")}),
         225,
         0,
         15,
         225.0 / 240,
         {"2026-12-08 225/0/15"},
         {"F"},
         {"handshake_timeout:10", "meter_silent:3", "busy:2"},
         30},
        {"ties in the reasons",
         joined({repeated(2, kDay1, "A", "meter_silent"), repeated(2, kDay1, "A", "busy"),
                 repeated(3, kDay1, "A", "port_error"), repeated(1, kDay1, "A", "no_such_word")}),
         0,
         0,
         8,
         0.0,
         {"2026-12-08 0/0/8"},
         {},
         {"port_error:3", "busy:2", "meter_silent:2", "no_such_word:1"},
         30},
        {"a day boundary in UTC",
         {{"2026-12-08T23:59:59Z", "A", "ok", 1},
          {"2026-12-09T00:00:00Z", "A", "busy", 2},
          {"2026-12-09T00:00:01Z", "A", "ok", 3},
          {"2026-12-07T12:00:00Z", "A", "ok", 4}},
         3,
         0,
         1,
         0.75,
         {"2026-12-09 1/0/1", "2026-12-08 1/0/0", "2026-12-07 1/0/0"},
         {},
         {"busy:1"},
         2.5},
        {"hostile names",
         joined({repeated(20, kDay1, "<b>bold</b>", "busy"),
                 repeated(2, kDay1, "constructor", "ok"),
                 repeated(30, kDay1,
                          "\xE2\x80\xAE"
                          "abc",
                          "ok"),
                 repeated(30, kDay1, longName, "ok")}),
         62,
         0,
         20,
         62.0 / 82,
         {"2026-12-08 62/0/20"},
         {"<b>bold</b>"},
         {"busy:20"},
         30},
    };
}

// The JSON's summary against the case.
inline void expectSummary(const JsonValue& summary, const SummaryCase& c) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(summary.is_object()) << summary.dump();
    EXPECT_EQ(summary["ok"], c.ok);
    EXPECT_EQ(summary["current"], c.current);
    EXPECT_EQ(summary["failed"], c.failed);
    if (c.yield) {
        EXPECT_NEAR(summary["yield"].get<double>(), *c.yield, 0.0005);
    } else {
        EXPECT_TRUE(summary["yield"].is_null());
    }
    std::vector<std::string> days, falling, reasons;
    for (const JsonValue& day : summary["days"]) {
        days.push_back(day["day"].get<std::string>() + " " + day["ok"].dump() + "/" +
                       day["current"].dump() + "/" + day["failed"].dump());
    }
    for (const JsonValue& lane : summary["lanes"]) {
        if (lane["falling"].get<bool>()) {
            falling.push_back(lane["lane"].get<std::string>());
        }
    }
    for (const JsonValue& reason : summary["reasons"]) {
        reasons.push_back(reason["result"].get<std::string>() + ":" + reason["count"].dump());
    }
    EXPECT_EQ(days, c.days);
    EXPECT_EQ(falling, c.falling);
    EXPECT_EQ(reasons, c.reasons);
    if (c.median) {
        EXPECT_NEAR(summary["median_seconds"].get<double>(), *c.median, 0.0005);
    } else {
        EXPECT_TRUE(summary["median_seconds"].is_null());
    }
    EXPECT_EQ(summary["median_of"], "duration_s");
}

// The record line of a case's line (the lane as its name on the fixture).
inline std::string caseRecordLine(const CaseLine& line, long long seq) {
    RecordEntry entry;
    entry.bench = "bench";
    entry.seq = seq;
    entry.command = "station";
    entry.finished = line.finished;
    entry.laneName = line.lane;
    entry.leadSerial = "S";
    entry.result = line.result;
    entry.seconds = line.seconds;
    return recordLine(entry);
}

} // namespace pxr7::test
