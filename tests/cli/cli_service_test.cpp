// What a service bench relies on, end to end through the simulator: lead setup on request,
// verified upgrades, several meters at once, and signals and pipes that never leave a meter
// half-flashed with DTR asserted.
#include "cli_rig.h"
#include "json_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

using namespace simrig;

namespace {

const std::string kMeter = "version = PXR7 V1.02\ncapture = capture.bin\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string image() {
    return fileText(PXR7_FIRMWARE_IMAGE_PATH);
}

struct ServiceCase {
    const char* name;
    std::string scenario;
    const char* command;
    int exitCode;
    std::function<void(const CliRig&, const CliResult&)> check;
};

void PrintTo(const ServiceCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

const ServiceCase kCases[] = {
    {"SetupShowsWritesAndConfirms", "[bridge 0]\neeprom = factory\n", "setup --yes", 0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.out, "Cbus4        1 -> 5")) << result.out;
         EXPECT_TRUE(contains(result.err, "written and hold")) << result.err;
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 1);
         // Read again after the lead came back.
         EXPECT_GE(countPrefixed(rig.trace(), "FT_EE_Read"), 3);
     }},
    {"SetupOfARightLeadWritesNothing", "[bridge 0]\n", "setup --yes", 0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.out, "already holds")) << result.out;
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 0);
     }},
    {"SetupDeclinedWritesNothing", "[bridge 0]\neeprom = factory\n", "setup", 8,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 0);
     }},
    {"ALeadThatDoesNotComeBackAsksForAReplug",
     "reenumerate_ms = 60000\n[bridge 0]\neeprom = factory\n", "setup --yes", 5,
     [](const CliRig&, const CliResult& result) {
         EXPECT_TRUE(contains(result.err, "reconnect the USB lead")) << result.err;
     }},
    {"AMeterKeepingItsOldVersionFailsVerification",
     "[bridge 0]\n" + kMeter + "version_after_upgrade = PXR7 V1.02\n", "upgrade --yes", 13,
     [](const CliRig&, const CliResult& result) {
         EXPECT_TRUE(contains(result.err, "reports PXR7 V1.02 after the upgrade")) << result.err;
     }},
    {"AMeterSilentAfterTheUpgradeIsAFailure",
     "[bridge 0]\n" + kMeter + "version_after_upgrade = \"\"\nversion_reply = silent\n",
     "upgrade --yes", 15,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
     }},
    {"AMeterOnTheImagesVersionIsSkipped", "[bridge 0]\nversion = PXR7 V1.03\n",
     "upgrade --yes --skip-if-current", 0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.out, "already runs PXR7 V1.03")) << result.out;
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr"), 0);
     }},
    {"EveryMeterAtOnce",
     "[bridge 0]\n" + kMeter + "[bridge 1]\nversion = PXR7 V1.01\ncapture = second.bin\n",
     "--json upgrade --all --yes", 0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(fileText(rig.path("second.bin")), image());
         EXPECT_TRUE(contains(result.out, "\"serial\":\"PX7A0001\",\"records\":314"));
         EXPECT_TRUE(contains(result.out, "\"event\":\"result\",\"command\":\"upgrade\","
                                          "\"exit_code\":0"));
         std::size_t start = 0;
         while (start < result.out.size()) {
             const std::size_t end = result.out.find('\n', start);
             EXPECT_TRUE(isJsonObject(result.out.substr(start, end - start)));
             start = end + 1;
         }
     }},
    {"TraceShowsEveryCallAndTheLatencyTimerIsShort", "[bridge 0]\n" + kMeter, "--trace list", 0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.err, "pxr7: FT_Open(0) -> 0, handle 1\n")) << result.err;
         EXPECT_TRUE(contains(result.err, "pxr7: FT_Write(handle 2, 10) -> 0, 10 bytes\n"))
             << result.err;
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetLatencyTimer bridge=0 ms=2 status=0"), 1);
     }},
    {"OneFailingMeterFailsTheRun", "[bridge 0]\n" + kMeter + "[bridge 1]\nhandshake = none\n",
     "upgrade --all --yes", 6,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_TRUE(contains(result.out, "PX7A0001          handshake_timeout    0/314      "
                                          "PXR7 V1.02 -> -"))
             << result.out;
     }},
};

class CliServiceTest : public ::testing::TestWithParam<ServiceCase> {};

TEST_P(CliServiceTest, DoesWhatTheBenchNeeds) {
    CliRig rig(GetParam().scenario);
    const CliResult result = rig.run(GetParam().command);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.out << result.err;
    GetParam().check(rig, result);
}

INSTANTIATE_TEST_SUITE_P(Bench, CliServiceTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ServiceCase>& caseInfo) {
                             return caseInfo.param.name;
                         });

// SIGTERM and SIGHUP stop a transfer at once, but only after DTR is cleared and the port
// closed: a meter is never left held in reset.
TEST(CliSignals, StoppingClearsDtrAndClosesThePort) {
    struct {
        const char* signal;
        int exitCode;
    } const cases[] = {{"TERM", 143}, {"HUP", 129}};
    for (const auto& c : cases) {
        CliRig rig("[bridge 0]\n" + kMeter);
        const int status =
            rig.shell(rig.commandLine("upgrade --yes") + " >out.txt 2>err.txt & pid=$!; " +
                      waitForTrace("FT_Write bridge=0 length=516", 5) + "kill -" + c.signal +
                      " $pid; wait $pid");
        EXPECT_EQ(status, c.exitCode) << c.signal;
        const std::vector<std::string> trace = rig.trace();
        ASSERT_GE(trace.size(), 2u);
        EXPECT_EQ(callName(trace[trace.size() - 2]), "FT_ClrDtr") << c.signal;
        EXPECT_EQ(callName(trace.back()), "FT_Close") << c.signal;
        EXPECT_TRUE(contains(fileText(rig.path("err.txt")), "Upgrade interrupted.")) << c.signal;
    }
}

// A reader that goes away never stops a transfer: the meter still gets its whole image.
TEST(CliSignals, AClosedPipeDoesNotStopTheTransfer) {
    CliRig rig("[bridge 0]\n" + kMeter);
    rig.shell(rig.commandLine("upgrade --yes") + " 2>/dev/null | head -n 1 >/dev/null");
    EXPECT_EQ(fileText(rig.path("capture.bin")), image());
}

} // namespace
