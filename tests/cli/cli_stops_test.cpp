// Stops that always work: every stop signal lets the meter out of reset and closes the port, a
// driver call that never returns cannot hold a stop, and neither a log nobody reads nor a
// closed standard stream can hang the program or swallow its messages.
#include "cli_rig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace simrig;

namespace {

const std::string kMeter = "version = PXR7 V1.02\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Starts the command in the background, waits for the trace, sends the signals to the program
// itself (not to the watchdog of the test run, which passes on only the first) and waits for
// it; the milliseconds from the first signal to the end go to ms.txt.
int signalDuring(const CliRig& rig, const std::string& arguments, const std::string& waitFor,
                 const std::string& signals) {
    return rig.shell(rig.commandLine(arguments) + " >out.txt 2>err.txt & pid=$!; " + waitFor +
                     "program=$(cat /proc/$pid/task/$pid/children); t0=$(date +%s%N); for s in " +
                     signals +
                     "; do kill -$s $program; sleep 0.2; done; wait $pid; rc=$?; "
                     "echo $(( ($(date +%s%N) - t0) / 1000000 )) >ms.txt; exit $rc");
}

// The calls on one bridge after the first FT_SetDtr.
std::vector<std::string> callsAfterReset(const CliRig& rig, int bridge) {
    const std::vector<std::string> names = callNames(linesOfBridge(rig.trace(), bridge));
    std::vector<std::string> after;
    bool reset = false;
    for (const std::string& name : names) {
        if (reset) {
            after.push_back(name);
        }
        reset = reset || name == "FT_SetDtr";
    }
    return after;
}

// SIGQUIT stops like SIGTERM: in the middle of the reset pulse, DTR is cleared at once (the
// one FT_ClrDtr since the pulse began) and the port closed.
TEST(CliStops, QuitDuringTheResetPulseLetsTheMeterGo) {
    CliRig rig("[bridge 0]\n" + kMeter);
    const int status = signalDuring(rig, "upgrade --yes", waitForTrace("FT_SetDtr", 1), "QUIT");
    EXPECT_EQ(status, 131) << fileText(rig.path("err.txt"));
    const std::vector<std::string> after = callsAfterReset(rig, 0);
    EXPECT_EQ(after, (std::vector<std::string>{"FT_ClrDtr", "FT_Close"}));
}

// A read stuck in the driver: the program cannot clear DTR, but it still ends about two
// seconds after the stop, with the signal's code and a line that says so.
TEST(CliStops, AStuckReadCannotHoldAStop) {
    const std::string kStuck = "[bridge 0]\nhang_read_from_record = 3\n" + kMeter;
    struct {
        const char* name;
        std::string scenario;
        const char* arguments;
        const char* signals;
        int exitCode;
        bool otherMeter;
    } const cases[] = {
        {"SIGTERM", kStuck, "upgrade --yes", "TERM", 143, false},
        {"Ctrl+C twice", kStuck, "upgrade --yes", "INT INT", 130, false},
        {"SIGHUP, all meters", kStuck + "[bridge 1]\n", "upgrade --all --yes", "HUP", 129, true},
    };
    for (const auto& c : cases) {
        CliRig rig(c.scenario);
        const int status = signalDuring(
            rig, c.arguments, waitForTrace("FT_Write bridge=0 length=516", 4) + "sleep 0.3; ",
            c.signals);
        EXPECT_EQ(status, c.exitCode) << c.name;
        const int ms = std::atoi(fileText(rig.path("ms.txt")).c_str());
        EXPECT_GE(ms, 1900) << c.name << ": ended before the stop had its time";
        EXPECT_LE(ms, 5000) << c.name;
        EXPECT_TRUE(contains(fileText(rig.path("err.txt")), "DTR could not be cleared"))
            << c.name << fileText(rig.path("err.txt"));
        if (c.otherMeter) {
            // The meter whose calls still return is let go as usual.
            const std::vector<std::string> names = callNames(linesOfBridge(rig.trace(), 1));
            ASSERT_GE(names.size(), 2u);
            EXPECT_EQ(names[names.size() - 2], "FT_ClrDtr");
            EXPECT_EQ(names.back(), "FT_Close");
        }
    }
}

// A FIFO nobody reads as the log: refused with one warning, and the run ends as it would.
TEST(CliStops, ALogNobodyReadsNeitherHangsNorChangesTheOutcome) {
    struct {
        const char* arguments;
        int exitCode;
    } const cases[] = {{"list", 0}, {"upgrade --yes --serial NOPE", 10}};
    for (const auto& c : cases) {
        CliRig rig("[bridge 0]\n" + kMeter);
        ASSERT_EQ(rig.shell("mkfifo log.fifo"), 0);
        const CliResult result = rig.run(std::string(c.arguments) + " --log log.fifo");
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments << result.err;
        EXPECT_TRUE(contains(result.err, "pxr7: warning: could not write the log log.fifo: not a "
                                         "regular file\n"))
            << result.err;
    }
}

// Started with stdout or stderr closed, the program's messages go nowhere rather than into the
// next file it opens (the driver's trace, the log).
TEST(CliStops, ClosedStandardStreamsKeepMessagesOutOfFiles) {
    for (const char* redirection : {">&- 2>err.txt", "2>&- >out.txt"}) {
        CliRig rig("[bridge 0]\n" + kMeter);
        const int status = rig.shell("sh -c \"" + rig.commandLine("--verbose list --log log.txt") +
                                     " " + redirection + "\"");
        EXPECT_EQ(status, 0) << redirection;
        const std::string log = fileText(rig.path("log.txt"));
        EXPECT_EQ(log.rfind("time=", 0), 0u) << redirection << log;
        EXPECT_EQ(log.find('\n'), log.size() - 1) << redirection << log;
        for (const std::string& line : rig.trace()) {
            EXPECT_EQ(line.rfind("FT_", 0), 0u) << redirection << ": " << line;
        }
    }
}

} // namespace
