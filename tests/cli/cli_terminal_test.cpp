// What a person sees in a real terminal: pxr7 runs in a tmux window of a given size against the
// simulator, and the test reads the screen and its scrollback as tmux kept them. Lines that
// the terminal had to wrap come back joined, so a wrapped line shows as one too wide.
#include "cli_rig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using simrig::CliRig;

const std::string kThreeMeters = "[bridge 0]\n[bridge 1]\n[bridge 2]\n";

class TmuxWindow {
public:
    TmuxWindow(const CliRig& rig, int columns, const std::string& arguments)
        : rig_(rig), socket_("pxr7-test-" + std::to_string(getpid())) {
        std::string line = rig.commandLine(arguments);
        // Ctrl+C must reach the program alone, as it does at a prompt; the window's end is the
        // watchdog here.
        const std::size_t watchdog = line.find("timeout -k 5 120 ");
        line.erase(watchdog, 17);
        // The shell around it outlives a Ctrl+C: a trap with a command is not inherited.
        writeScript("trap : INT\n" + line + "; echo $? > exit.txt; sleep 120\n");
        rig.shell(tmux() + "new-session -d -x " + std::to_string(columns) +
                  " -y 20 'TERM=xterm sh run.sh'");
    }
    ~TmuxWindow() { rig_.shell(tmux() + "kill-server 2>/dev/null"); }

    // Waits for the program's end (at most 60 s); its exit code, -1 if it did not end.
    int wait() const {
        for (int i = 0; i < 600; ++i) {
            std::string code;
            if (simrig::readFile(rig_.path("exit.txt"), code) && !code.empty()) {
                return std::stoi(code);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }
    void interrupt() const { rig_.shell(tmux() + "send-keys C-c"); }

    // The scrollback and the screen, wrapped lines joined, trailing blank lines dropped.
    std::vector<std::string> lines() const {
        rig_.shell(tmux() + "capture-pane -p -J -S - > screen.txt");
        std::istringstream text(simrig::fileText(rig_.path("screen.txt")));
        std::vector<std::string> out;
        for (std::string line; std::getline(text, line);) {
            out.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
        }
        while (!out.empty() && out.back().empty()) {
            out.pop_back();
        }
        return out;
    }

private:
    std::string tmux() const { return "tmux -L " + socket_ + " "; }
    void writeScript(const std::string& text) const {
        simrig::writeFile(rig_.path("run.sh"), text);
    }

    const CliRig& rig_;
    std::string socket_;
};

bool has(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const std::string& line : lines) {
        if (line == wanted) {
            return true;
        }
    }
    return false;
}

// Waits until the meters have taken some records, so a signal lands mid-transfer.
void waitForRecords(const CliRig& rig, int records) {
    for (int i = 0; i < 100 && rig.countTrace("FT_Write bridge=0 length=516") < records; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TEST(CliTerminal, OneUpgradeShowsItsResultOnALineOfItsOwn) {
    CliRig rig("[bridge 0]\n");
    TmuxWindow window(rig, 80, "upgrade --yes");
    ASSERT_EQ(window.wait(), 0);
    const std::vector<std::string> lines = window.lines();
    EXPECT_TRUE(has(lines, "PXR7 V1.02 -> PXR7 V1.03"));
    EXPECT_TRUE(has(lines, "Upgrade complete"));
}

TEST(CliTerminal, LanesInANarrowTerminalNeverWrapAndEndOnTheirOutcome) {
    CliRig rig(kThreeMeters);
    TmuxWindow window(rig, 40, "upgrade --all --yes");
    waitForRecords(rig, 30);
    window.interrupt(); // the first Ctrl+C only warns, and the warning stays
    ASSERT_EQ(window.wait(), 0);
    const std::vector<std::string> lines = window.lines();
    EXPECT_LE(lines.size(), 60u);
    for (const std::string& line : lines) {
        EXPECT_LT(line.size(), 40u) << line;
    }
    for (const char* lane : {"PX7A0000 ok", "PX7A0001 ok", "PX7A0002 ok"}) {
        EXPECT_TRUE(has(lines, lane)) << lane;
    }
    EXPECT_TRUE(has(lines, "Press Ctrl+C again to stop anyway."));
}

TEST(CliTerminal, TheCallTraceNeverLandsInsideTheProgressLine) {
    CliRig rig("[bridge 0]\n");
    TmuxWindow window(rig, 200, "upgrade --yes --trace");
    ASSERT_EQ(window.wait(), 0);
    int calls = 0;
    for (const std::string& line : window.lines()) {
        const bool call = line.find("FT_") != std::string::npos;
        calls += call ? 1 : 0;
        EXPECT_TRUE(!call || line.rfind("pxr7: FT_", 0) == 0) << line;
        EXPECT_TRUE(!call || line.find("records") == std::string::npos) << line;
    }
    EXPECT_GT(calls, 314);
}

} // namespace
