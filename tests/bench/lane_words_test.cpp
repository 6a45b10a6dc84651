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
                                      std::string(wordsFor(Outcome::HandshakeFailed))},
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
            meter.endWith(rows[i].outcome);
            meter.attempts = attempts;
            meter.versionBefore = "PXR7 V1.02";
            meter.versionAfter =
                rows[i].outcome == Outcome::VerifyFailed ? "PXR7 V1.01" : "PXR7 V1.03";
            shown.push_back(
                {std::string("outcome ") + outcomeWordFor(rows[i].outcome), laneOutcomeRow(meter)});
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

namespace {

// Eight lanes, three of which need the technician, in the words the station gives them: on a
// screen too low for their whole steps (80 x 6 leaves four rows), each of the three is there
// with its step in a few words; with rows enough, with the whole step.
TEST(LaneWords, ThreeLanesThatNeedYouStayOnALowScreen) {
    std::vector<LaneRow> lanes;
    for (int i = 0; i < 8; ++i) {
        LaneTag tag;
        tag.number = i + 1;
        tag.serial = "PX7A000" + std::to_string(i);
        tag.index = i;
        LaneRow row = laneStateRow(tag, LaneState::Waiting, "");
        if (i == 3) {
            row = laneStateRow(tag, LaneState::CannotOpen, openFailureWords("", false));
        } else if (i == 4) {
            row = laneStateRow(tag, LaneState::NeedsSetup, "");
        } else if (i == 5) {
            MeterRun meter;
            meter.endWith(Outcome::HandshakeFailed);
            meter.attempts = 3;
            row = laneOutcomeRow(meter);
        }
        row.label = tag.serial;
        lanes.push_back(row);
    }
    ScreenHeader header;
    header.imageVersion = "PXR7 V1.03";
    for (const ScreenSize size : {ScreenSize{80, 5, false}, ScreenSize{40, 12, false},
                                  ScreenSize{40, 29, false}, ScreenSize{120, 5, true}}) {
        std::string all;
        for (const std::string& line : composeStationScreen(header, lanes, size)) {
            const std::size_t start = line.find_first_not_of(' ');
            all += line.substr(start == std::string::npos ? line.size() : start) + " ";
        }
        SCOPED_TRACE(std::to_string(size.columns) + "x" + std::to_string(size.rows) + ": " + all);
        for (int i : {3, 4, 5}) {
            EXPECT_TRUE(has(all, lanes[i].label.c_str()));
            const bool whole = has(all, lanes[i].next.substr(0, 30).c_str());
            EXPECT_TRUE(whole || has(all, lanes[i].brief.c_str())) << lanes[i].brief;
            EXPECT_EQ(whole, size.rows > 20) << lanes[i].next;
        }
        EXPECT_TRUE(has(all, "run pxr7 setup --serial PX7A0004"));
    }
}

} // namespace
