// A pxr7 whose embedded firmware image changed after the build (one byte of the binary
// patched) refuses to upgrade, and nothing reaches the meter.
#include "cli_rig.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

using namespace simrig;

namespace {

const std::string kOneMeter = "[bridge 0]\n"
                              "version = PXR7 V1.02\n"
                              "version_after_upgrade = PXR7 V1.03\n"
                              "capture = capture.bin\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliImageCheck, AProgramWithAnAlteredImageRefusesToUpgrade) {
    CliRig rig(kOneMeter);
    std::string program = fileText(CliRig::builtProgram());
    const std::string image = fileText(PXR7_FIRMWARE_IMAGE_PATH);
    ASSERT_FALSE(image.empty());
    const std::size_t at = program.find(image);
    ASSERT_NE(at, std::string::npos) << "the image's bytes are not in the program";
    program[at + image.size() / 2] ^= 0x01;
    const std::string altered = rig.path("pxr7-altered");
    writeFile(altered, program);
    ASSERT_EQ(chmod(altered.c_str(), 0755), 0);
    rig.runProgram(altered);

    const CliResult text = rig.run("upgrade --yes");
    EXPECT_EQ(text.exitCode, 7) << text.out << text.err;
    EXPECT_TRUE(contains(text.out + text.err, "Can't access upgrade data")) << text.out << text.err;
    EXPECT_TRUE(contains(text.err, "does not match the digest it was built with")) << text.err;
    const CliResult json = rig.run("--json upgrade --yes");
    EXPECT_EQ(json.exitCode, 7);
    EXPECT_TRUE(contains(json.out, "\"error\":\"image_problem\"")) << json.out;
    // Nothing reached the meter: no reset pulse, no record.
    EXPECT_EQ(rig.countTrace("FT_Write bridge=0 length=516"), 0);
    EXPECT_EQ(rig.countTrace("FT_SetDtr"), 0);
    EXPECT_FALSE(fileExists(rig.path("capture.bin")));

    const CliResult version = rig.run("--json --version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(contains(version.out, "\"sha256_matches\":false")) << version.out;
}

} // namespace
