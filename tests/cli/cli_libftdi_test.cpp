// The command line with only open-source libraries: libftdi1 over the USB-level simulated
// FT232R. The same meter model answers as through D2XX, and the same faults end the same way.
#include "cli_rig.h"

#include <gtest/gtest.h>

#include <string>

using namespace simrig;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliLibftdi, ListsUpgradesByteForByteAndVerifies) {
    CliRig rig("[bridge 0]\nversion = PXR7 V1.02\ncapture = capture.bin\n", RigBackend::Libftdi);
    const CliResult list = rig.run("list");
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_TRUE(contains(list.out, "meter answered: PXR7 V1.02")) << list.out;
    const CliResult upgrade = rig.run("upgrade --yes");
    EXPECT_EQ(upgrade.exitCode, 0) << upgrade.out << upgrade.err;
    EXPECT_EQ(fileText(rig.path("capture.bin")), fileText(PXR7_FIRMWARE_IMAGE_PATH));
    EXPECT_TRUE(contains(upgrade.out, "PXR7 V1.02 -> PXR7 V1.03")) << upgrade.out;
}

TEST(CliLibftdi, TransferFaultsEndAsThroughD2xx) {
    const struct {
        const char* keys;
        int exitCode;
        const char* diagnosis;
    } cases[] = {
        {"handshake = none", 6, "did not answer the reset pulse"},
        {"stop_after_record = 5", 12, "stopped asking for records after 6 of 314 records"},
    };
    for (const auto& c : cases) {
        CliRig rig(std::string("[bridge 0]\n") + c.keys + "\n", RigBackend::Libftdi);
        const CliResult result = rig.run("upgrade --yes");
        EXPECT_EQ(result.exitCode, c.exitCode) << c.keys << "\n" << result.err;
        // Only a meter that never answered the reset missed the handshake.
        EXPECT_EQ(contains(result.err, "Error - Handshake not received"), c.exitCode == 6)
            << result.err;
        EXPECT_TRUE(contains(result.err, c.diagnosis)) << result.err;
    }
}

TEST(CliLibftdi, AFactoryLeadIsSetUpAndHolds) {
    CliRig rig("state_file = state.txt\n[bridge 0]\neeprom = factory\n", RigBackend::Libftdi);
    const CliResult setup = rig.run("setup --yes");
    EXPECT_EQ(setup.exitCode, 0) << setup.out << setup.err;
    EXPECT_TRUE(contains(setup.out, "InvertDTR    0 -> 1")) << setup.out;
    const CliResult list = rig.run("list");
    EXPECT_TRUE(contains(list.out, "Tavelin QVRX          meter answered")) << list.out;
}

} // namespace
