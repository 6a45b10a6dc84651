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
    TmuxWindow(const CliRig& rig, int columns, const std::string& arguments, int rows = 20)
        // A server of its own for each window: one killed just before may still be going away.
        : rig_(rig),
          socket_("pxr7-test-" + std::to_string(getpid()) + "-" + std::to_string(windowsMade_++)) {
        std::string line = rig.commandLine(arguments);
        // Ctrl+C must reach the program alone, as it does at a prompt; the window's end is the
        // watchdog here.
        const std::size_t watchdog = line.find("timeout -k 5 120 ");
        line.erase(watchdog, 17);
        // The shell around it outlives a Ctrl+C: a trap with a command is not inherited.
        writeScript("trap : INT\n" + line + "; echo $? > exit.txt; sleep 120\n");
        rig.shell(tmux() + "new-session -d -x " + std::to_string(columns) + " -y " +
                  std::to_string(rows) + " 'TERM=xterm sh run.sh'");
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
    void resize(int columns, int rows) const {
        rig_.shell(tmux() + "resize-window -x " + std::to_string(columns) + " -y " +
                   std::to_string(rows));
    }

    // The scrollback and the screen, wrapped lines joined, trailing blank lines dropped; or,
    // with visibleOnly, what is on the screen now.
    std::vector<std::string> lines(bool visibleOnly = false) const {
        rig_.shell(tmux() + "capture-pane -p -J" + (visibleOnly ? "" : " -S -") + " > screen.txt");
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
    static inline int windowsMade_ = 0;
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

// Eight leads: five meters that arrive late, one that never answers its reset, a bridge
// nobody may open and a factory-fresh lead. The station ends after the six meters.
const std::string kEightLeads =
    "[bridge 0]\nmeter_windows = 3000-90000\n[bridge 1]\nmeter_windows = 3000-90000\n"
    "[bridge 2]\nmeter_windows = 3000-90000\n[bridge 3]\nopen = fail\n"
    "[bridge 4]\neeprom = factory\n[bridge 5]\nhandshake = none\nmeter_windows = 3000-90000\n"
    "[bridge 6]\nmeter_windows = 3000-90000\n[bridge 7]\nmeter_windows = 3000-90000\n";

int countStarting(const std::vector<std::string>& lines, const std::string& start) {
    int count = 0;
    for (const std::string& line : lines) {
        count += line.rfind(start, 0) == 0 ? 1 : 0;
    }
    return count;
}

bool shows(const std::vector<std::string>& lines, const std::string& text) {
    std::string all;
    for (const std::string& line : lines) {
        all += line.substr(line.find_first_not_of(' ') == std::string::npos
                               ? line.size()
                               : line.find_first_not_of(' ')) +
               " ";
    }
    return all.find(text) != std::string::npos;
}

struct ScreenCase {
    int columns, rows;
    int resizedColumns; // 0: not resized
    bool nextStepsShown;
};

class StationScreen : public testing::TestWithParam<ScreenCase> {};

// Waits until the screen shows text (at most 20 s).
bool waitForScreen(const TmuxWindow& window, const std::string& text) {
    for (int i = 0; i < 200; ++i) {
        if (shows(window.lines(), text)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST_P(StationScreen, FitsItsWindowAsItIsResized) {
    const ScreenCase& c = GetParam();
    CliRig rig(kEightLeads);
    TmuxWindow window(rig, c.columns, "station --count 6 --retries 0 --record rec.jsonl", c.rows);
    if (c.resizedColumns > 0) {
        // Narrower once the lanes are drawn, back once meters are being sent to.
        ASSERT_TRUE(waitForScreen(window, "Station:"));
        window.resize(c.resizedColumns, c.rows);
        waitForRecords(rig, 1);
        window.resize(c.columns, c.rows);
    }
    const int exitCode = window.wait();
    const std::vector<std::string> lines = window.lines();
    std::string screen;
    for (const std::string& line : lines) {
        screen += line + "\n";
    }
    ASSERT_EQ(exitCode, 17) << screen;
    for (const std::string& line : lines) {
        EXPECT_LT(line.size(), static_cast<std::size_t>(c.columns)) << line;
    }
    // One header on the screen, none left behind by a redraw; the last line sums it up.
    EXPECT_EQ(countStarting(lines, "Station:  "), 1);
    EXPECT_EQ(countStarting(lines, "Station: 5 ok, 0 current, 1 failed"), 1);
    if (c.nextStepsShown) {
        EXPECT_TRUE(shows(lines, "run pxr7 setup --serial PX7A0004")) << c.columns;
        EXPECT_TRUE(shows(lines, "the meter never answered the reset")) << c.columns;
        EXPECT_TRUE(shows(lines, "could not be opened")) << c.columns;
    } else {
        // Too low for every lane: those that need someone first, the setup command whole.
        EXPECT_TRUE(shows(lines, "run pxr7 setup --serial PX7A0004")) << screen;
    }
}

// One test a window size, so that they run side by side.
INSTANTIATE_TEST_SUITE_P(Windows, StationScreen,
                         testing::Values(ScreenCase{80, 40, 0, true}, ScreenCase{40, 60, 0, true},
                                         ScreenCase{40, 30, 0, true}, ScreenCase{120, 40, 60, true},
                                         ScreenCase{80, 6, 0, false}),
                         [](const testing::TestParamInfo<ScreenCase>& param) {
                             const ScreenCase& c = param.param;
                             return std::to_string(c.columns) + "x" + std::to_string(c.rows) +
                                    (c.resizedColumns
                                         ? "ResizedTo" + std::to_string(c.resizedColumns)
                                         : "");
                         });

// Eight leads, three of which need the technician, in a window resized 6 -> 30 -> 6 rows while
// the station runs: at each size the screen holds one header, and growing the window brings
// back no older copy from the terminal's scrollback. At 30 rows the three next steps are
// whole; 6 rows leave four for the block, where each of the three says its step in brief.
TEST(CliTerminal, AResizeLeavesOneCopyOfTheScreen) {
    CliRig rig(kEightLeads);
    TmuxWindow window(rig, 80, "station --retries 0 --record rec.jsonl", 6);
    const auto settled = [&window](std::size_t rowsAtLeast) {
        std::vector<std::string> screen;
        for (int i = 0; i < 200; ++i) {
            screen = window.lines(true);
            if (countStarting(screen, "Station:") == 1 && screen.size() >= rowsAtLeast &&
                shows(screen, "run pxr7 setup --serial PX7A0004") &&
                (rowsAtLeast < 12 ? shows(screen, "PX7A0005 failed - take it off and on") &&
                                        shows(screen, "bridge 3")
                                  : shows(screen, "the meter never answered the reset") &&
                                        shows(screen, "could not be opened"))) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return screen;
    };
    for (const int rows : {6, 30, 6}) {
        window.resize(80, rows);
        const std::vector<std::string> screen = settled(rows > 6 ? 12 : 4);
        std::string text;
        for (const std::string& line : screen) {
            text += line + "\n";
        }
        EXPECT_EQ(countStarting(screen, "Station:"), 1) << rows << " rows:\n" << text;
        EXPECT_TRUE(shows(screen, "run pxr7 setup --serial PX7A0004")) << text;
        if (rows > 6) {
            EXPECT_TRUE(shows(screen, "the meter never answered the reset")) << text;
            EXPECT_TRUE(shows(screen, "could not be opened")) << text;
        } else {
            EXPECT_TRUE(shows(screen, "PX7A0005 failed - take it off and on to try again")) << text;
            EXPECT_TRUE(shows(screen, "bridge 3 cannot open the lead - check access")) << text;
        }
    }
    window.interrupt();
    EXPECT_NE(window.wait(), -1);
}

} // namespace
