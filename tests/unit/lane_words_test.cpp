// Every word a station lane can show: each state (with the reasons the station gives it) and
// each outcome, drawn on the screen at 40 and 120 columns, held against words that must not
// stand together (the station contradicting itself, or the facts), words that must not
// stand at all on a lane (the station retries by itself: nobody "runs again"), and words that
// need their facts beside them (a text that mentions the versions shows them).
#include "diagnosis.h"
#include "exit_codes.h"
#include "lane_words.h"
#include "station_screen.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using namespace pxr7;

namespace {

struct Shown {
    std::string what; // which state or outcome, for the failure message
    LaneRow row;
};

LaneTag fixture() {
    LaneTag tag;
    tag.number = 2;
    tag.serial = "PX7A0002";
    tag.index = 1;
    tag.name = "Fixture B (left, by the window)";
    return tag;
}

const char kPermission[] =
    "could not be opened: no permission on its USB device node /dev/bus/usb/001/004: install "
    "the udev rule 60-pxr7.rules; then plug the lead in again";

std::vector<Shown> everyState() {
    struct StateCase {
        LaneState state;
        std::string reason;
    };
    const std::vector<StateCase> cases = {
        {LaneState::Waiting, ""},
        {LaneState::NeedsSetup, ""},
        {LaneState::NeedsSetup, "a meter lead whose EEPROM settings need correcting"},
        {LaneState::SettingUp, ""},
        {LaneState::LeftAlone, ""},
        {LaneState::SetupFailed, "pxr7: the lead's settings could not be written to its EEPROM; "
                                 "nothing was changed."},
        {LaneState::CannotOpen, openFailureWords("", true)},
        {LaneState::CannotOpen, openFailureWords("", false)},
        {LaneState::CannotOpen, kPermission},
        {LaneState::RemoveMeter, ""},
        {LaneState::CannotTellApart, ""},
        {LaneState::RecordFailing, ""},
        {LaneState::NeedsUnitId, ""},
        {LaneState::MeterNotAVersion, ""},
        {LaneState::OutOfService, "3 meters in a row failed here, the last: " +
                                      std::string(wordsFor(EXIT_HANDSHAKE_FAILED))},
    };
    std::vector<Shown> shown;
    for (const StateCase& c : cases) {
        LaneRow row = laneStateRow(fixture(), c.state, c.reason);
        if (c.state == LaneState::RemoveMeter) {
            row.state = "ok: PXR7 V1.03"; // it keeps the outcome's words
        }
        shown.push_back({std::string(laneStateCode(c.state)) + " " + c.reason.substr(0, 40), row});
    }
    return shown;
}

std::vector<Shown> everyOutcome() {
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    std::vector<Shown> shown;
    for (std::size_t i = 0; i < count; ++i) {
        for (const int attempts : {1, 3}) {
            MeterRun meter;
            meter.exitCode = rows[i].code;
            meter.attempts = attempts;
            meter.versionBefore = "PXR7 V1.02";
            meter.versionAfter = rows[i].code == EXIT_VERIFY_FAILED ? "PXR7 V1.01" : "PXR7 V1.03";
            shown.push_back(
                {std::string("outcome ") + outcomeWordFor(rows[i].code), laneOutcomeRow(meter)});
        }
    }
    return shown;
}

std::string lowered(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The screen's lines of one lane, joined as they read: a wrapped next step is one text again.
std::string drawn(const LaneRow& lane, int columns) {
    ScreenHeader header;
    header.imageVersion = "PXR7 V1.03";
    LaneRow row = lane;
    row.label = "Fixture B (left, by the window)";
    const ScreenSize size{columns, 30, false};
    const std::vector<std::string> lines = composeStationScreen(header, {row}, size);
    std::size_t first = 0; // the lane's first row, below the header
    while (first < lines.size() && lines[first].compare(0, 9, "Fixture B") != 0) {
        ++first;
    }
    std::string all;
    for (std::size_t i = first; i < lines.size(); ++i) {
        std::size_t start = lines[i].find_first_not_of(' ');
        all += (all.empty() ? "" : " ") + lines[i].substr(start == std::string::npos ? 0 : start);
    }
    return all;
}

bool has(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

TEST(LaneWords, NoStateOrOutcomeContradictsItselfOrTheStation) {
    // Either one of each pair, never both on one lane.
    const std::vector<std::pair<const char*, const char*>> forbiddenPairs = {
        {"leave it plugged in", "take the meter off"}, {"leave it plugged in", "take it off"},
        {"close that program", "permission"},          {"close the other program", "permission"},
        {"close that program", "no program holds it"}, {"waiting for a meter", "failed"},
    };
    // Never on a lane: the station tries again itself, and waits for the meter to be taken off.
    const std::vector<const char*> forbidden = {
        "run again", "run upgrade again", "?.", "()", "  ", " .", "..", ": ."};
    // A text that mentions the first shows the second.
    const std::vector<std::pair<const char*, const char*>> needs = {
        {"both versions", "pxr7 v1.01 after the upgrade"},
        {"ctrl+r", "out of service"},
    };
    std::vector<Shown> all = everyState();
    for (const Shown& outcome : everyOutcome()) {
        all.push_back(outcome);
    }
    for (const Shown& shown : all) {
        EXPECT_FALSE(shown.row.state.empty()) << shown.what;
        if (shown.row.tone == LaneTone::Bad || shown.row.tone == LaneTone::Attention) {
            EXPECT_FALSE(shown.row.next.empty()) << shown.what << ": what to do";
        }
        for (const int columns : {40, 120}) {
            const std::string screen = drawn(shown.row, columns);
            const std::string text = lowered(screen);
            SCOPED_TRACE(shown.what + " at " + std::to_string(columns) + ": " + screen);
            // The whole next step is on the screen, word for word.
            EXPECT_TRUE(has(screen, shown.row.next.c_str())) << shown.row.next;
            for (const auto& [one, other] : forbiddenPairs) {
                EXPECT_FALSE(has(text, one) && has(text, other)) << one << " / " << other;
            }
            const std::string words = lowered(shown.row.state + " " + shown.row.next);
            for (const char* part : forbidden) {
                EXPECT_FALSE(has(words, part)) << part;
            }
            // The label and the state are whole too.
            EXPECT_TRUE(has(screen, "Fixture B (left, by the window)"));
            EXPECT_TRUE(has(screen, shown.row.state.c_str())) << shown.row.state;
            for (const auto& [mention, fact] : needs) {
                EXPECT_TRUE(!has(text, mention) || has(text, fact)) << mention;
            }
        }
    }
}

// The reasons a lead cannot be opened name one cause each, and the fix for that cause.
TEST(LaneWords, ABusyLeadAndOneThatCannotBeOpenedAreToldApart) {
    const std::string busy = openFailureWords("", true);
    const std::string refused = openFailureWords("", false);
    EXPECT_NE(busy.find("another program holds it"), std::string::npos) << busy;
    EXPECT_EQ(busy.find("permission"), std::string::npos) << busy;
    EXPECT_NE(refused.find("permission"), std::string::npos) << refused;
    EXPECT_EQ(refused.find("close"), std::string::npos) << refused;
    EXPECT_EQ(openFailureWords("its own words", true), "could not be opened: its own words");
}

} // namespace
