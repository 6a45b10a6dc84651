// The command line with only open-source libraries: libftdi1 over the USB-level simulated
// FT232R. The same meter model answers as through D2XX, and the same faults end the same way.
#include "cli_rig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace simrig;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The kernel driver's moves in a run, in order: "D0" detached from bridge 0, "A0" attached.
std::string driverMoves(const CliRig& rig) {
    std::string moves;
    for (const std::string& line : rig.trace()) {
        const std::string call = callName(line);
        // Explicitly, or along with a claim or release (libusb's auto-detach).
        const bool detach = call == "libusb_detach_kernel_driver" ||
                            (call == "libusb_claim_interface" && valueOf(line, "detached") == "1");
        const bool attach =
            call == "libusb_attach_kernel_driver" ||
            (call == "libusb_release_interface" && valueOf(line, "reattached") == "1");
        if (detach || attach) {
            moves += (detach ? "D" : "A") + valueOf(line, "bridge");
        }
    }
    return moves;
}

// What a run did to a bridge beyond reading it, one line each: a detach, a claim, a reset, a
// bulk transfer or a control transfer that is not an EEPROM read.
std::string intrusions(const CliRig& rig, const std::string& bridge) {
    std::string done;
    for (const std::string& line : rig.trace()) {
        const std::string call = callName(line);
        const bool control = call == "libusb_control_transfer";
        if (valueOf(line, "bridge") == bridge &&
            ((control && valueOf(line, "request") != "SIO_READ_EEPROM") ||
             call == "libusb_detach_kernel_driver" || call == "libusb_claim_interface" ||
             call == "libusb_reset_device" || call == "libusb_bulk_transfer")) {
            done += call + " " + valueOf(line, "request") + "\n";
        }
    }
    return done;
}

// A factory-fresh FT232R may be somebody's adapter with a terminal session on it: without
// consent it is only read, while the meter lead beside it is upgraded.
TEST(CliLibftdi, AFactoryAdapterIsOnlyReadWithoutConsent) {
    const struct {
        const char* command;
        const char* shown; // what the command says of the adapter
    } rows[] = {
        {"list", "factory-fresh FT232R: a new meter lead or another adapter; if it is the "
                 "meter's lead: pxr7 setup --serial PX7A0001"},
        {"upgrade --all --yes", "factory-fresh FT232R: a new meter lead or another adapter"},
        {"station --count 1", "PX7A0001 (bridge 1): needs setup"},
    };
    for (const auto& row : rows) {
        CliRig rig("[bridge 0]\nversion = PXR7 V1.02\ncapture = capture.bin\n"
                   "[bridge 1]\neeprom = factory\n",
                   RigBackend::Libftdi);
        const CliResult result = rig.run(row.command);
        EXPECT_TRUE(contains(result.out + result.err, row.shown)) << row.command << "\n"
                                                                  << result.out << result.err;
        EXPECT_EQ(intrusions(rig, "1"), "") << row.command;
        // The lead beside it was talked to, so the trace would show what the adapter got.
        EXPECT_NE(intrusions(rig, "0"), "") << row.command;
        if (std::string(row.command) != "list") {
            EXPECT_EQ(fileText(rig.path("capture.bin")), fileText(PXR7_FIRMWARE_IMAGE_PATH))
                << row.command << "\n"
                << result.out << result.err;
        }
    }
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

TEST(CliLibftdi, FtdiSioLeavesOnlyTheLeadTalkedToAndComesBack) {
    CliRig rig("[bridge 0]\nversion = PXR7 V1.02\n[bridge 1]\neeprom = factory\n"
               "[bridge 2]\ndescription = \"Bench multimeter\"\n",
               RigBackend::Libftdi);
    // The other gear is only looked at, the lead not chosen only read.
    const CliResult list = rig.run("list");
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(driverMoves(rig).find('2'), std::string::npos) << driverMoves(rig);
    rig.clearTrace();
    EXPECT_EQ(rig.run("list --serial PX7A0000").exitCode, 0);
    EXPECT_EQ(driverMoves(rig), "D0A0");
    rig.clearTrace();
    const CliResult upgrade = rig.run("upgrade --serial PX7A0000 --yes");
    EXPECT_EQ(upgrade.exitCode, 0) << upgrade.err;
    // Each time the program talks to the lead: one detach, then its attach.
    const std::string moves = driverMoves(rig);
    EXPECT_FALSE(moves.empty());
    for (std::size_t i = 0; i < moves.size(); i += 4) {
        EXPECT_EQ(moves.substr(i, 4), "D0A0") << moves;
    }
}

// The list and the station alike: each bridge is a line or a lane with the cause and the fix.
TEST(CliLibftdi, ABridgeThatCannotBeOpenedSaysWhatToDo) {
    CliRig rig("[bridge 0]\nopen = fail\n[bridge 1]\nheld_by = other_program\n[bridge 2]\n"
               "meter_windows = 4000-60000\n",
               RigBackend::Libftdi);
    const CliResult list = rig.run("list");
    const CliResult station = rig.run("station --count 1 --record record.jsonl");
    EXPECT_EQ(station.exitCode, 0) << station.err;
    for (const std::string& out : {list.out, station.out}) {
        for (const char* part : {"could not be opened: no permission on its USB device node "
                                 "/dev/bus/usb/001/",
                                 "install the udev rule 60-pxr7.rules", "GROUP=\"plugdev\"",
                                 "could not be opened: another program is using it"}) {
            EXPECT_TRUE(contains(out, part)) << part << "\n" << out;
        }
    }
    EXPECT_TRUE(contains(list.out, "busy: could not be opened")) << list.out;
    EXPECT_TRUE(contains(station.out, "bridge 0 (bridge 0): cannot open the lead")) << station.out;
    EXPECT_FALSE(contains(list.out + list.err, "status")) << list.out << list.err;
}

// FTDI's library cannot open what ftdi_sio holds; sysfs shows the hold.
TEST(CliLinux, FtdiSioHoldingTheLeadGivesTheUnbindLineWithFtdisLibrary) {
    CliRig rig("[bridge 0]\nopen = fail\n");
    const std::string root = rig.path("sys");
    std::filesystem::create_directories(root + "/bus/usb/devices/1-1");
    std::filesystem::create_directories(root + "/bus/usb/drivers/ftdi_sio/1-1:1.0");
    writeFile(root + "/bus/usb/devices/1-1/idVendor", "0403\n");
    writeFile(root + "/bus/usb/devices/1-1/idProduct", "6001\n");
    setenv("PXR7_SYSFS_ROOT", root.c_str(), 1);
    const CliResult list = rig.run("list");
    unsetenv("PXR7_SYSFS_ROOT");
    EXPECT_TRUE(contains(list.out, "busy: could not be opened: the kernel's serial driver "
                                   "ftdi_sio holds it (1-1:1.0)"))
        << list.out;
    EXPECT_TRUE(contains(list.out, "--backend libftdi")) << list.out;
    EXPECT_TRUE(
        contains(list.out, "echo -n 1-1:1.0 | sudo tee /sys/bus/usb/drivers/ftdi_sio/unbind"))
        << list.out;
}

TEST(CliLinux, AMissingLibraryIsNamedTrulyAndNeverADll) {
    CliRig rig("[bridge 0]\n");
    const CliResult list = rig.run("--backend d2xx --driver /nonexistent/libftd2xx.so list");
    EXPECT_EQ(list.exitCode, 3);
    EXPECT_FALSE(contains(list.out + list.err, ".dll")) << list.err;
    EXPECT_TRUE(contains(list.err, "Warning, can't load USB driver (/nonexistent/libftd2xx.so)"))
        << list.err;
    EXPECT_TRUE(contains(list.err, "--backend libftdi")) << list.err;
    const CliResult version = rig.run("--json --version --driver /nonexistent/libftd2xx.so");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(contains(version.out, "\"library\":\"/nonexistent/libftd2xx.so\",\"tried\":true,"
                                      "\"problem\":\""))
        << version.out;
    EXPECT_TRUE(contains(version.out, "\"loads\":false,\"backend\":\"none\"}")) << version.out;
}

} // namespace
