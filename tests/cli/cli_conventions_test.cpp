// The command line's conventions end to end: usage errors, help, --version and --log.
#include "cli_rig.h"
#include "sha256.h"

#include <gtest/gtest.h>

#include <sstream>

#include <regex>

#include <algorithm>
#include <string>

using namespace simrig;

namespace {

const std::string kOneMeter = "[bridge 0]\nversion = PXR7 V1.02\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

long lineCount(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

struct UsageCase {
    const char* arguments;
    const char* named; // what the one line must name
};

TEST(CliConventions, UsageErrorsAreTwoLinesOnStderrAndExitTwo) {
    const UsageCase cases[] = {
        {"--frobnicate list", "--frobnicate"},
        {"frobnicate", "frobnicate"},
        {"list -y", "-y"},
        {"list --serial FT1 --index 0", "--index"},
        {"upgrade --all --serial FT1", "--all"},
        {"upgrade --index 1 --all", "--all"},
        {"", "no command"},
        {"--backend usb list", "--backend"},
        {"list --driver", "--driver"},
        {"list --index minus", "--index"},
    };
    CliRig rig(kOneMeter);
    for (const UsageCase& c : cases) {
        const CliResult result = rig.run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.arguments;
        EXPECT_EQ(lineCount(result.err), 2) << c.arguments << "\n" << result.err;
        EXPECT_EQ(result.err.rfind("pxr7: ", 0), 0u) << result.err;
        EXPECT_TRUE(contains(result.err.substr(0, result.err.find('\n')), c.named)) << result.err;
        EXPECT_TRUE(contains(result.err, "\nTry 'pxr7 --help'.\n")) << result.err;
        EXPECT_EQ(result.out, "") << c.arguments;
    }
    // Nothing reached the library.
    EXPECT_EQ(rig.trace().size(), 0u);
}

struct HelpCase {
    const char* arguments;
    std::vector<const char*> mentions;
    std::vector<const char*> absent;
};

TEST(CliConventions, EachCommandHasItsOwnHelp) {
    const HelpCase cases[] = {
        {"--help",
         {"list", "setup", "upgrade", "about", "--driver PATH", "--json", "--verbose", "--log FILE",
          "--backend d2xx|libftdi", "--version", "--serial S", "--index N", "--all",
          "--skip-if-current", "--no-verify", "Exit codes:", "130"},
         {}},
        {"list --help",
         {"pxr7 list", "--serial S", "--index N", "--driver PATH"},
         {"--yes", "--all"}},
        {"setup --help", {"pxr7 setup", "--serial S", "--index N", "--yes"}, {"--all"}},
        {"--json upgrade --help",
         {"pxr7 upgrade", "--yes", "--all", "--skip-if-current", "--no-verify", "--index N"},
         {"Exit codes:"}},
        {"about --help", {"pxr7 about", "--json"}, {"--serial"}},
    };
    CliRig rig(kOneMeter);
    for (const HelpCase& c : cases) {
        const CliResult result = rig.run(c.arguments);
        EXPECT_EQ(result.exitCode, 0) << c.arguments;
        EXPECT_EQ(result.err, "") << c.arguments;
        for (const char* part : c.mentions) {
            EXPECT_TRUE(contains(result.out, part)) << c.arguments << " lacks " << part;
        }
        for (const char* part : c.absent) {
            EXPECT_FALSE(contains(result.out, part)) << c.arguments << " has " << part;
        }
    }
}

TEST(CliConventions, TheGuideShowsTheHelpAsPrinted) {
    const CliResult help = CliRig(kOneMeter).run("--help");
    EXPECT_TRUE(contains(fileText(PXR7_GUIDE_PATH), "```text\n" + help.out + "```\n"))
        << "docs/guide.md's command reference differs from pxr7 --help:\n"
        << help.out;
}

TEST(CliConventions, ProgramOptionsWorkOnEitherSideOfTheCommand) {
    CliRig rig(kOneMeter);
    const CliResult before = rig.run("--json list");
    const CliResult after = rig.run("list --json");
    EXPECT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(before.out, after.out);
    EXPECT_EQ(after.out.rfind("{", 0), 0u) << after.out;
}

// Every option that takes a value, as each command's help names it, takes the next word as its
// value even when that word is a command's name: `pxr7 --record list history` is history; and
// a flag takes none: `pxr7 --yes upgrade` is upgrade.
TEST(CliConventions, AValueThatIsACommandsNameIsTheOptionsValue) {
    CliRig rig(kOneMeter);
    const std::regex valued(R"(^  (?:-\w, )?(--[a-z-]+) [A-Z\[])");
    const std::regex flag(R"(^  (?:-\w, )?(--[a-z-]+)  )");
    int checked = 0;
    for (const char* command :
         {"list", "upgrade", "setup", "station", "history", "collect", "serve", "about"}) {
        const CliResult help = rig.run(std::string(command) + " --help");
        std::istringstream lines(help.out);
        for (std::string line; std::getline(lines, line);) {
            std::smatch found;
            if (std::regex_search(line, found, flag) && found[1] != "--help") {
                // A flag takes nothing: the command after it is the command, which takes the flag.
                const CliResult asked = rig.run(found[1].str() + " " + command + " --no-such");
                for (const std::string& wrong :
                     {"does not take " + found[1].str(), std::string("unknown "),
                      std::string("unexpected")}) {
                    EXPECT_EQ(asked.err.find(wrong), std::string::npos)
                        << found[1] << " " << command << ": " << asked.err;
                }
                continue;
            }
            if (!std::regex_search(line, found, valued)) {
                continue;
            }
            const std::string other = std::string(command) == "list" ? "about" : "list";
            const CliResult asked =
                rig.run(found[1].str() + " " + other + " " + command + " --help");
            // The command's help, or the option refusing the word as its value (a number).
            const bool took =
                asked.out.rfind(std::string("Usage: pxr7 ") + command + " ", 0) == 0 ||
                asked.err.rfind("pxr7: " + found[1].str() + ":", 0) == 0;
            EXPECT_TRUE(took) << found[1] << " " << other << " " << command << ":\n"
                              << asked.out << asked.err;
            ++checked;
        }
    }
    EXPECT_GE(checked, 20);
}

TEST(CliConventions, VersionNamesTheImageTheProgramCarries) {
    const std::string image = fileText(PXR7_FIRMWARE_IMAGE_PATH);
    ASSERT_FALSE(image.empty());
    const std::string hash =
        pxr7::sha256Hex(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
    const std::string bytes = std::to_string(image.size());
    const std::string records = std::to_string(image.size() / 515);
    CliRig rig(kOneMeter);

    const CliResult text = rig.run("--version");
    EXPECT_EQ(text.exitCode, 0) << text.err;
    // The program's version and the image's version, each named for what it is.
    EXPECT_EQ(text.out.rfind("pxr7 program " PXR7_PROGRAM_VERSION "\n", 0), 0u) << text.out;
    EXPECT_TRUE(contains(text.out, bytes + " bytes, " + records + " records")) << text.out;
    EXPECT_TRUE(contains(text.out, hash)) << text.out;
    EXPECT_TRUE(contains(text.out, "Image check:      matches")) << text.out;
    EXPECT_TRUE(contains(text.out, "Firmware image:   PXR7 V1.03\n")) << text.out;
    EXPECT_TRUE(contains(text.out, "(loads)")) << text.out;

    const CliResult json = rig.run("--version --json");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(lineCount(json.out), 1) << json.out;
    EXPECT_EQ(json.out.rfind("{\"schema\":1,\"program\":\"PX-R7 Meter V1.03\","
                             "\"program_version\":\"" PXR7_PROGRAM_VERSION "\",",
                             0),
              0u)
        << json.out;
    EXPECT_TRUE(contains(json.out, "\"bytes\":" + bytes + ",\"records\":" + records +
                                       ",\"sha256\":\"" + hash + "\",\"sha256_matches\":true"))
        << json.out;
    EXPECT_TRUE(contains(json.out, "\"standin\":true")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"loads\":true,\"backend\":\"D2XX\"}")) << json.out;

    const CliResult missing = rig.run("--version --driver /nonexistent/libftd2xx.so");
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_TRUE(contains(missing.out, "/nonexistent/libftd2xx.so (does not load)")) << missing.out;
}

TEST(CliConventions, LogGetsOneLinePerRunAndNeverChangesTheExitCode) {
    CliRig rig(kOneMeter);
    EXPECT_EQ(rig.run("--log runs.log about").exitCode, 0);
    EXPECT_EQ(rig.run("list --log runs.log --driver /nonexistent/libftd2xx.so").exitCode, 3);
    const std::string log = fileText(rig.path("runs.log"));
    ASSERT_EQ(lineCount(log), 2) << log;
    const std::string first = log.substr(0, log.find('\n'));
    const std::string second = log.substr(first.size() + 1);
    EXPECT_EQ(first.rfind("time=20", 0), 0u) << first;
    EXPECT_TRUE(contains(first, "command=about ")) << first;
    EXPECT_TRUE(contains(first, "outcome=success exit=0")) << first;
    EXPECT_TRUE(contains(second, "command=list ")) << second;
    EXPECT_TRUE(contains(second, "outcome=no_driver exit=3")) << second;

    // A log that cannot be written: one warning, the run's own result.
    const CliResult unwritable = rig.run("about --log /nonexistent/folder/runs.log");
    EXPECT_EQ(unwritable.exitCode, 0);
    EXPECT_EQ(lineCount(unwritable.err), 1) << unwritable.err;
    EXPECT_TRUE(contains(unwritable.out, "PX-R7 Meter V1.03")) << unwritable.out;
}

} // namespace
