// The command line's pure pieces: the progress line and the station's screen against terminal
// sizes, and the run log's line.
#include "progress_line.h"
#include "run_log.h"
#include "station_screen.h"
#include "terminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace pxr7;

namespace {

struct FiguresCase {
    const char* name;
    ProgressFigures figures;
};

const FiguresCase kFigures[] = {
    {"start", {Phase::Sending, 0, 314, 0.0}},
    {"half", {Phase::Sending, 157, 314, 3.2}},
    {"done", {Phase::Sending, 314, 314, 6.4}},
    {"slow and big", {Phase::Sending, 1, 99999, 5000.0}},
    {"restarting", {Phase::Restarting, 314, 314, 6.4}},
    {"waiting", {Phase::WaitingForMeter, 0, 314, 0.0}},
};

TEST(ProgressLine, NeverReachesTheLastColumnNorBreaksTheLine) {
    for (const FiguresCase& c : kFigures) {
        for (int columns : {kNarrowestProgressLine, 41, 59, 60, 61, 80, 132, 400}) {
            const std::string line = formatProgressLine(c.figures, columns);
            EXPECT_LT(line.size(), static_cast<std::size_t>(columns)) << c.name << " " << columns;
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << c.name;
            EXPECT_FALSE(line.empty()) << c.name << " " << columns;
        }
    }
}

struct WidthCase {
    int columns;
    bool rate, left, bar;
};

TEST(ProgressLine, NarrowerTerminalsLoseTheBarThenTheRateThenTheTimeLeft) {
    const ProgressFigures half{Phase::Sending, 157, 314, 3.2};
    const WidthCase cases[] = {
        {120, true, true, true},  {60, true, true, true},   {50, true, true, false},
        {45, false, true, false}, {40, false, true, false},
    };
    for (const WidthCase& c : cases) {
        const std::string line = formatProgressLine(half, c.columns);
        EXPECT_NE(line.find("157/314"), std::string::npos) << line;
        EXPECT_NE(line.find(" 50%"), std::string::npos) << line;
        EXPECT_EQ(line.find("49 records/s") != std::string::npos, c.rate) << line;
        EXPECT_EQ(line.find("0:03 left") != std::string::npos, c.left) << line;
        EXPECT_EQ(line.find('[') != std::string::npos, c.bar) << line;
    }
}

TEST(ProgressLine, TheBarFillsWithTheRecords) {
    const std::string empty = formatProgressLine({Phase::Sending, 0, 314, 0.0}, 80);
    const std::string full = formatProgressLine({Phase::Sending, 314, 314, 6.4}, 80);
    const std::string half = formatProgressLine({Phase::Sending, 157, 314, 3.2}, 80);
    const auto bar = [](const std::string& line) { return line.substr(line.find('[')); };
    EXPECT_EQ(bar(empty).find('#'), std::string::npos) << empty;
    EXPECT_EQ(bar(full).find('-'), std::string::npos) << full;
    const std::string halfBar = bar(half);
    const auto filled = std::count(halfBar.begin(), halfBar.end(), '#');
    EXPECT_LE(std::abs(filled - std::count(halfBar.begin(), halfBar.end(), '-')), 1) << half;
}

TEST(ProgressLine, DurationsAreMinutesAndSecondsWithinBounds) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {{0, "0:00"},  {59.6, "1:00"},    {3599, "59:59"},
                 {-5, "0:00"}, {1e12, "5999:59"}, {0.0 / 0.0, "0:00"}};
    for (const auto& c : cases) {
        EXPECT_EQ(formatDuration(c.seconds), c.text) << c.seconds;
    }
}

TEST(RunLog, OneLineOfKeyValuePairsWithUnsafeValuesQuoted) {
    RunLogEntry entry;
    entry.command = "upgrade";
    entry.serial = "FT1A=2";
    entry.versionBefore = "PXR7 \"V1.02\"";
    entry.versionAfter = "V1.03\nforged=line";
    entry.outcome = "success";
    EXPECT_EQ(formatRunLogLine(entry, 86400 + 3661),
              "time=1970-01-02T01:01:01Z command=upgrade serial=\"FT1A=2\" "
              "before=\"PXR7 \\\"V1.02\\\"\" after=\"V1.03?forged=line\" outcome=success exit=0");
    EXPECT_EQ(formatRunLogLine(RunLogEntry{}, 0),
              "time=1970-01-01T00:00:00Z command=\"\" serial=\"\" before=\"\" after=\"\" "
              "outcome=\"\" exit=0");
}

TEST(RunLog, AppendsAndWarnsOnceWhenItCannotWrite) {
    const std::string path = ::testing::TempDir() + "pxr7_run_log_test.log";
    std::remove(path.c_str());
    RunLogEntry entry;
    entry.command = "list";
    EXPECT_TRUE(appendRunLog(path, entry));
    EXPECT_TRUE(appendRunLog(path, entry));
    std::ifstream file(path);
    int lines = 0;
    for (std::string line; std::getline(file, line);) {
        lines += line.find("command=list ") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(lines, 2);
    std::remove(path.c_str());

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(appendRunLog(::testing::TempDir(), entry)); // a folder
    const std::string warning = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
    EXPECT_EQ(warning.rfind("pxr7: warning: ", 0), 0u) << warning;
}

} // namespace

namespace {

LaneRow laneRow(const char* label, const char* state, const char* next, LaneTone tone) {
    LaneRow row;
    row.label = label;
    row.state = state;
    row.next = next;
    row.tone = tone;
    return row;
}

std::vector<LaneRow> eightLanes() {
    std::vector<LaneRow> lanes;
    for (int i = 0; i < 6; ++i) {
        lanes.push_back(laneRow("PX7A000", "waiting for a meter", "", LaneTone::Quiet));
    }
    lanes[0] = laneRow("PX7A000", "ok: PXR7 V1.03", "take the meter off", LaneTone::Good);
    lanes[1].sending = true;
    lanes[1].progress = {Phase::Sending, 0, 0, 0.0}; // the meter has not asked yet
    lanes[2].sending = true;
    lanes[2].progress = {Phase::Sending, 100, 314, 2.0, 9.0, 2}; // quiet for 9 s
    lanes.push_back(laneRow("Fixture with a long name on it", "failed",
                            "the meter never answered the reset. Is the meter switched on?",
                            LaneTone::Bad));
    lanes.push_back(laneRow("bridge 3", "cannot open the lead",
                            "could not be opened: you lack permission on /dev/bus/usb/001/004",
                            LaneTone::Attention));
    return lanes;
}

} // namespace

// Every line fits; the next steps show while there is room for them; when the rows run short
// the lanes that need someone come first with their whole next step, the header and the lanes
// that are fine give way, and the lanes left out are summed up in one line where a row is left.
TEST(StationScreen, FitsTheWidthAndTheRows) {
    struct Case {
        int columns, rows;
        bool colour;
        bool everyNextStep, summary, secondNeedWhole;
    };
    ScreenHeader header;
    header.totals = {1234, 5, 6};
    header.yield = 0.995;
    header.metersPerHour = 1234.0;
    header.imageVersion = "PXR7 V1.03";
    for (const Case& c :
         {Case{120, 50, true, true, false, true}, Case{80, 50, false, true, false, true},
          Case{40, 50, true, true, false, true}, Case{40, 30, false, true, false, true},
          Case{80, 13, false, false, false, true}, Case{80, 6, true, false, false, true},
          Case{40, 6, false, false, false, false}, Case{40, 9, false, false, false, true}}) {
        SCOPED_TRACE(std::to_string(c.columns) + "x" + std::to_string(c.rows));
        const std::vector<std::string> lines =
            composeStationScreen(header, eightLanes(), ScreenSize{c.columns, c.rows, c.colour});
        std::string all;
        for (const std::string& line : lines) {
            EXPECT_LT(visibleWidth(line), static_cast<std::size_t>(c.columns)) << line;
            EXPECT_EQ(line.find('\n'), std::string::npos);
            all += line + "\n";
        }
        EXPECT_LT(lines.size(), static_cast<std::size_t>(c.rows));
        // Figures are never cut mid-number: whole, or left out with their line.
        EXPECT_TRUE(all.find("1234 meters/h") != std::string::npos ||
                    all.find("meters/h") == std::string::npos)
            << all;
        EXPECT_NE(all.find("1234 ok"), std::string::npos) << all;
        EXPECT_EQ(all.find("0/0"), std::string::npos) << all;
        // The first lane that needs someone always shows its whole next step.
        EXPECT_NE(all.find("switched on?"), std::string::npos) << all;
        EXPECT_EQ(all.find("/dev/bus/usb/001/004") != std::string::npos, c.secondNeedWhole) << all;
        EXPECT_EQ(all.find("take the meter off") != std::string::npos, c.everyNextStep) << all;
        EXPECT_EQ(all.find("more lanes") != std::string::npos, c.summary) << all;
        EXPECT_EQ(all.find("\x1b[") != std::string::npos, c.colour) << all;
        if (!c.summary && c.rows > 9) {
            EXPECT_NE(all.find("Sending: starting"), std::string::npos) << all;
        }
        if (c.columns >= 80 && c.rows > 6) {
            EXPECT_NE(all.find("Sending (attempt 2)"), std::string::npos) << all;
            EXPECT_NE(all.find("quiet 0:09"), std::string::npos) << all;
        }
    }
}

// Three lanes that need someone among eight, short or long, at the sizes a bench has: those
// three before any other, each with its whole next step.
TEST(StationScreen, LanesThatNeedSomeoneComeFirstWhole) {
    std::vector<LaneRow> lanes = eightLanes();
    lanes[3] =
        laneRow("PX7A0003", "needs setup", "run pxr7 setup --serial PX7A0003", LaneTone::Attention);
    ScreenHeader header;
    header.imageVersion = "PXR7 V1.03";
    for (const ScreenSize size :
         {ScreenSize{40, 30, false}, ScreenSize{80, 8, false}, ScreenSize{120, 7, true}}) {
        SCOPED_TRACE(std::to_string(size.columns) + "x" + std::to_string(size.rows));
        const std::vector<std::string> lines = composeStationScreen(header, lanes, size);
        std::string all;
        for (const std::string& line : lines) {
            all += line + "\n";
        }
        for (const char* step :
             {"pxr7 setup --serial PX7A0003", "switched on?", "/dev/bus/usb/001/004"}) {
            EXPECT_NE(all.find(step), std::string::npos) << step << "\n" << all;
            const std::size_t fine = all.find("waiting for a meter");
            if (fine != std::string::npos && size.rows < 30) {
                EXPECT_LT(all.find(step), fine) << all;
            }
        }
    }
}

// Where the next unit id goes stays on the screen under the header, above the id being typed,
// however low the terminal: the lanes give way first.
TEST(StationScreen, KeepsTheNextIdsTargetUnderTheHeader) {
    ScreenHeader header;
    header.imageVersion = "PXR7 V1.03";
    header.nextId = "scan the fixture first: 3 meters wait";
    header.typing = "U12_";
    for (const int rows : {50, 5, 4}) {
        SCOPED_TRACE(rows);
        const std::vector<std::string> lines =
            composeStationScreen(header, eightLanes(), ScreenSize{80, rows, false});
        ASSERT_GE(lines.size(), 3u);
        EXPECT_LT(lines.size(), static_cast<std::size_t>(rows));
        EXPECT_EQ(lines[1], "scan the fixture first: 3 meters wait");
        EXPECT_EQ(lines[2], "Unit id: U12_");
    }
}

TEST(StationScreen, CutsByWhatShowsAndClosesTheColour) {
    EXPECT_EQ(visibleWidth("\x1b[31mfailed\x1b[0m"), 6u);
    EXPECT_EQ(cutToColumns("\x1b[31mfailed\x1b[0m", 4), "\x1b[31mfail\x1b[0m");
    EXPECT_EQ(cutToColumns("plain text", 5), "plain");
    EXPECT_EQ(cutToColumns("short", 40), "short");
}

// With no lead the screen says what to plug in; a failed lane is white on red across the whole
// width, where the terminal has colour, and only there.
TEST(StationScreen, SaysWhatToPlugInAndShowsAFailureAcrossTheWidth) {
    ScreenHeader header;
    header.imageVersion = "PXR7 V1.03";
    std::string all;
    for (const std::string& line : composeStationScreen(header, {}, ScreenSize{40, 20, false})) {
        EXPECT_LT(visibleWidth(line), 40u) << line;
        all += line + " ";
    }
    EXPECT_NE(all.find("plug in a meter lead"), std::string::npos) << all;
    const std::vector<LaneRow> lanes = {
        laneRow("Fixture A", "failed", "the meter never answered the reset.", LaneTone::Bad),
        laneRow("Fixture B", "waiting for a meter", "", LaneTone::Quiet)};
    for (const bool colour : {true, false}) {
        const std::vector<std::string> lines =
            composeStationScreen(header, lanes, ScreenSize{80, 20, colour});
        int red = 0;
        for (const std::string& line : lines) {
            if (line.compare(0, 8, "\x1b[97;41m") == 0) {
                ++red;
                EXPECT_EQ(visibleWidth(line), 79u) << line;
                EXPECT_NE(line.find("Fixture A"), std::string::npos) << line;
            }
        }
        EXPECT_EQ(red, colour ? 1 : 0);
    }
}
