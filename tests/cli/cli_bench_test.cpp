// A bench with more than one FTDI device, and libraries that misbehave: the program never
// touches a bridge that is not a meter lead, never flashes a meter it did not show, and never
// reports a failure as success. Each case runs pxr7 end to end through the simulator.
#include "cli_rig.h"
#include "exit_codes.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

using namespace simrig;

namespace {

const std::string kMeter = "version = PXR7 V1.02\ncapture = capture.bin\n";
const std::string kForeignGadget =
    "eeprom = factory\ndescription = USB-Serial Gadget\ncapture = foreign.bin\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Calls on a bridge that only a meter lead may get: anything beyond the look at who it is.
int intrusiveCalls(const std::vector<std::string>& trace, int bridge) {
    int count = 0;
    for (const std::string& line : linesOfBridge(trace, bridge)) {
        const std::string name = callName(line);
        count += name != "FT_GetDeviceInfo" && name != "FT_Close" ? 1 : 0;
    }
    return count;
}

struct BenchCase {
    const char* name;
    std::string scenario;
    const char* command;
    int exitCode;
    std::function<void(const CliRig&, const CliResult&)> check;
};

void PrintTo(const BenchCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

std::string image() {
    return fileText(PXR7_FIRMWARE_IMAGE_PATH);
}

const BenchCase kCases[] = {
    {"ForeignFirstListsOnlyTheMeter", "[bridge 0]\n" + kForeignGadget + "[bridge 1]\n" + kMeter,
     "list", 0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.out, "USB-Serial Gadget     not a meter lead")) << result.out;
         EXPECT_TRUE(contains(
             result.out, "meter answered: PXR7 V1.02\nMeters that answered: 1 of 2 bridges\n"));
         EXPECT_EQ(intrusiveCalls(rig.trace(), 0), 0);
     }},
    {"ForeignFirstUpgradesTheMeterShown", "[bridge 0]\n" + kForeignGadget + "[bridge 1]\n" + kMeter,
     "upgrade --yes", 0,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(intrusiveCalls(rig.trace(), 0), 0);
     }},
    {"ForeignSecondIsLeftAlone", "[bridge 0]\n" + kMeter + "[bridge 1]\n" + kForeignGadget, "list",
     0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.out, "USB-Serial Gadget     not a meter lead")) << result.out;
         EXPECT_TRUE(contains(result.out, "Meters that answered: 1 of 2 bridges\n")) << result.out;
         EXPECT_EQ(intrusiveCalls(rig.trace(), 1), 0);
     }},
    {"ForeignVidPidIsNeverProgrammed",
     "[bridge 0]\neeprom = factory\nvid = 0x1234\npid = 0x5678\n[bridge 1]\n" + kMeter, "list", 0,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(intrusiveCalls(rig.trace(), 0), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 0);
     }},
    {"FactoryLeadBesideAMeterIsAmbiguous", "[bridge 0]\neeprom = factory\n[bridge 1]\n" + kMeter,
     "upgrade --yes", 14,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.err, "2 meter leads are connected")) << result.err;
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr"), 0);
         EXPECT_FALSE(fileExists(rig.path("capture.bin")));
     }},
    {"TheMeterChosenBySerialIsFlashedAndTheFactoryLeadLeftAlone",
     "[bridge 0]\neeprom = factory\ncapture = other.bin\n[bridge 1]\n" + kMeter,
     "upgrade --yes --serial PX7A0001", 0,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr bridge=0"), 0);
     }},
    {"TheMeterChosenByIndexIsFlashedAndTheFactoryLeadLeftAlone",
     "[bridge 0]\n" + kMeter + "[bridge 1]\neeprom = factory\ncapture = other.bin\n",
     "upgrade --yes --index 0", 0,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(intrusiveCalls(rig.trace(), 1), 0);
     }},
    {"MeterInItsBootLoaderIsStillRecovered",
     "[bridge 0]\nversion_reply = silent\ncapture = capture.bin\n", "upgrade --yes --no-verify", 0,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.out, "No devices present"));
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
     }},
    {"SilentBridgeThatIsNoLeadIsNotFlashed",
     "[bridge 0]\n" + kForeignGadget + "version_reply = silent\n", "upgrade --yes", 10,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(intrusiveCalls(rig.trace(), 0), 0);
         EXPECT_FALSE(fileExists(rig.path("foreign.bin")));
     }},
    {"UnterminatedStringsAreNeverWrittenBack",
     "[bridge 0]\neeprom = factory\nunterminated = Manufacturer,ManufacturerId,SerialNumber\n",
     "upgrade --yes", 10,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr"), 0);
     }},
    {"AFailedProgramIsNoCorrection", "[bridge 0]\neeprom = factory\neeprom_program = fail\n",
     "upgrade --yes --setup", 9,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.err, "could not be written")) << result.err;
         // The table's advice for the outcome, as the station and the guide give it.
         EXPECT_TRUE(contains(result.err, std::string("What to do: ") +
                                              pxr7::adviceFor(pxr7::Outcome::LeadSetupFailed)))
             << result.err;
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_CyclePort"), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr"), 0);
     }},
    {"AFailedRecordWriteEndsTheTransferAtOnce",
     "[bridge 0]\n" + kMeter + "write_fault = fail:record:5\n", "upgrade --yes", 12,
     [](const CliRig& rig, const CliResult&) {
         const std::vector<std::string> trace = rig.trace();
         ASSERT_GE(trace.size(), 3u);
         EXPECT_EQ(trace[trace.size() - 2].rfind("FT_Write bridge=0 length=516 written=0", 0), 0u);
         EXPECT_EQ(callName(trace.back()), "FT_Close");
     }},
    {"AShortHandshakeWriteEndsTheTransferAtOnce",
     "[bridge 0]\n" + kMeter + "write_fault = short:handshake\n", "upgrade --yes", 6,
     [](const CliRig& rig, const CliResult&) {
         const std::vector<std::string> trace = rig.trace();
         ASSERT_GE(trace.size(), 3u);
         EXPECT_EQ(trace[trace.size() - 2].rfind("FT_Write bridge=0 length=1 written=0", 0), 0u);
         EXPECT_EQ(callName(trace.back()), "FT_Close");
     }},
    {"ANullHandleIsNoOpenPort", "[bridge 0]\nopen = null_handle\n", "upgrade --yes", 11,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr"), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_ClrDtr"), 0);
     }},
    // A factory-fresh FT232R may be somebody's adapter: --yes alone writes no EEPROM and
    // pulses no DTR, and says how to set it up.
    {"YesAloneNeverWritesAnEeprom", "[bridge 0]\neeprom = factory\nversion_reply = silent\n",
     "--yes upgrade", 16,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr"), 0);
         EXPECT_TRUE(contains(result.err, "pxr7 setup --serial PX7A0000")) << result.err;
     }},
    {"AllWithYesAloneNeverWritesAnEeprom",
     "[bridge 0]\n" + kMeter + "[bridge 1]\neeprom = factory\nversion_reply = silent\n",
     "upgrade --all --yes", 16,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         for (const char* call : {"FT_EE_Program", "FT_CyclePort", "FT_SetDtr"}) {
             EXPECT_EQ(countPrefixed(linesOfBridge(rig.trace(), 1), call), 0) << call;
         }
         EXPECT_TRUE(contains(result.out, "needs_setup")) << result.out;
     }},
    {"SetupConsentSetsUpOnceAndUpgrades", "[bridge 0]\neeprom = factory\n" + kMeter,
     "upgrade --yes --setup", 0,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_EE_Program"), 1);
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
     }},
    {"ASharedSerialNeedsAnIndex", "[bridge 0]\nserial = PXDUP\n[bridge 1]\nserial = PXDUP\n",
     "upgrade --serial PXDUP --yes", 14,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_TRUE(contains(result.err, "share the serial number PXDUP: say which with --index"))
             << result.err;
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetDtr"), 0);
     }},
    // Bridge 1's new firmware does not take; bridge 0 shares its serial and runs the new version
    // already: its answer must never pass for bridge 1's.
    {"VerificationFollowsTheBridgeNotTheSerial",
     "[bridge 0]\nserial = PXDUP\nversion = PXR7 V1.03\n[bridge 1]\nserial = PXDUP\n"
     "version_after_upgrade = PXR7 V1.02\ncapture = capture.bin\n",
     "upgrade --index 1 --yes", 13,
     [](const CliRig& rig, const CliResult&) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(countPrefixed(linesOfBridge(rig.trace(), 0), "FT_Write bridge=0 length=516"), 0);
     }},
    {"AllFollowsEachBridgeOfASharedSerial",
     "[bridge 0]\nserial = PXDUP\n[bridge 1]\nserial = PXDUP\n"
     "version_after_upgrade = PXR7 V1.02\ncapture = capture.bin\n",
     "upgrade --all --yes", 13,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_TRUE(contains(result.out, "verification_failed")) << result.out;
     }},
    {"AStoppedTransferIsNoHandshakeFailure", "[bridge 0]\n" + kMeter + "stop_after_record = 100\n",
     "upgrade --yes", 12,
     [](const CliRig&, const CliResult& result) {
         EXPECT_FALSE(contains(result.err, "Handshake not received")) << result.err;
         EXPECT_TRUE(contains(result.err, "after 101 of 314 records")) << result.err;
     }},
    {"AnEmptyBusSaysWhatToCheck", "bridges = 0\n", "list", 10,
     [](const CliRig&, const CliResult& result) {
         EXPECT_EQ(result.out, "No FTDI bridges found.\npxr7: check that the lead is plugged in, "
                               "the meter lead's own USB plug too; on Linux, that lsusb shows "
                               "0403:6001; and the driver in use: D2XX.\n");
     }},
    {"ListOfBusyBridgesOnlySaysSo", "[bridge 0]\nopen = fail\n[bridge 1]\nopen = fail\n",
     "--verbose list", 11,
     [](const CliRig&, const CliResult& result) {
         EXPECT_TRUE(contains(result.err, "none of the bridges could be opened")) << result.err;
         // Nothing known of a bridge that cannot be opened: no empty brackets for it.
         EXPECT_FALSE(contains(result.out + result.err, "(, )")) << result.out << result.err;
     }},
    {"ListOfABusyBridgeBesideAMeterSucceeds", "[bridge 0]\n" + kMeter + "[bridge 1]\nopen = fail\n",
     "list", 0, [](const CliRig&, const CliResult&) {}},
    {"AllAccountsForABridgeItCannotOpen", "[bridge 0]\n" + kMeter + "[bridge 1]\nopen = fail\n",
     "upgrade --all --yes", 11,
     [](const CliRig& rig, const CliResult& result) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_TRUE(contains(result.out, "busy")) << result.out;
     }},
};

class CliBenchTest : public ::testing::TestWithParam<BenchCase> {};

TEST_P(CliBenchTest, TouchesOnlyTheMeterItShowsAndTellsFailuresApart) {
    CliRig rig(GetParam().scenario);
    const CliResult result = rig.run(GetParam().command);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.out << result.err;
    GetParam().check(rig, result);
}

INSTANTIATE_TEST_SUITE_P(Benches, CliBenchTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BenchCase>& caseInfo) {
                             return caseInfo.param.name;
                         });

} // namespace
