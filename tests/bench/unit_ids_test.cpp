// Which lane gets which unit id, one table of sequences: lanes named on the bench, meters
// arriving, fixture labels and ids scanned, meters swapped off unserved, scans that lapse, units
// ending. A wrong binding records a meter under another meter's id; a refused id must never be
// bound, and an id meant for a meter that left must never reach the next one.
#include "unit_scan.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace pxr7 {
namespace {

struct IdCase {
    const char* name;
    UnitIdOrder order;
    // "arrive N", "id N", "leave N", "end N", "close N", "wait SECONDS", and lines of the id
    // input: "scan LABEL" (LANE:LABEL), "op NAME" (OP:NAME), "type TEXT". Lanes 1 and 2 are
    // named Fixture A and Fixture B, lane 3 has no name (serial S3), lanes 5 and 6 share the
    // serial T.
    std::vector<std::string> steps;
    std::string said;   // what each step came to, joined with " / "
    std::string target; // where the next id goes at the end
};

constexpr UnitIdOrder kFixture = UnitIdOrder::Fixture;
constexpr UnitIdOrder kOldest = UnitIdOrder::OldestFirst;

const IdCase kCases[] = {
    {"TheOnlyMeterWaitingTakesAnIdWithoutAScan",
     kFixture,
     {"arrive 1", "type U1", "id 1", "id 2"},
     "1 waits / bound 1=U1 only / 1=U1 / 2 none",
     "none_waiting"},
    {"SeveralWaitingNeedTheFixtureScannedFirst",
     kFixture,
     {"arrive 1", "arrive 2", "type U1", "scan  Fixture B ", "type U1", "type U2"},
     "1 waits / 2 waits / refused scan / - / bound 2=U1 scanned / bound 1=U2 only",
     "none_waiting"},
    {"NoMeterAndNoScanIsRefused",
     kFixture,
     {"type U1", "arrive 1", "id 1"},
     "refused none / 1 waits / 1 none",
     "only_one_waiting 1"},
    {"AScannedFixtureWithoutAMeterKeepsTheIdForItsNext",
     kFixture,
     {"scan Fixture A", "type U1", "arrive 2", "arrive 1", "id 2"},
     "- / waiting / 2 waits / bound 1=U1 scanned / 2 none",
     "only_one_waiting 2"},
    {"LabelsAreNamesOrTheSerialOfAnUnnamedLeadOnly",
     kFixture,
     {"scan Fixture Z", "scan S1", "scan T", "scan fixture a", "scan S3", "arrive 3", "arrive 1",
      "type U3"},
     "refused no lane / refused no lane / refused two lanes / refused no lane / - / 3 waits / "
     "1 waits / bound 3=U3 scanned",
     "only_one_waiting 1"},
    {"ASecondScanReplacesTheFirst",
     kFixture,
     {"arrive 1", "arrive 2", "scan Fixture A", "scan Fixture B", "type U1"},
     "1 waits / 2 waits / - / replaced 1 / bound 2=U1 scanned",
     "only_one_waiting 1"},
    {"AScanLapsesWhenNoIdFollows",
     kFixture,
     {"arrive 1", "arrive 2", "scan Fixture A", "wait 29", "scan Fixture A", "wait 29", "type U1",
      "scan Fixture A", "wait 30", "type U2"},
     "1 waits / 2 waits / - / - / - / - / bound 1=U1 scanned / - / lapsed 1 / bound 2=U2 only",
     "none_waiting"},
    {"AMeterSwappedOffGoesBehindEveryOtherMeter",
     kOldest,
     {"arrive 1", "arrive 2", "leave 1", "arrive 1", "type U1", "type U2"},
     "1 waits / 2 waits / left / 1 waits / bound 2=U1 oldest / bound 1=U2 oldest",
     "none_waiting"},
    {"AMeterAskingAgainKeepsItsPlace",
     kOldest,
     {"arrive 1", "arrive 2", "arrive 1", "type U1"},
     "1 waits / 2 waits / 1 waits / bound 1=U1 oldest",
     "oldest_first 2"},
    {"AnIdForAMeterThatLeftIsLetGoNotHandedOn",
     kFixture,
     {"arrive 1", "arrive 2", "scan Fixture A", "type U1", "leave 1", "id 2", "arrive 1", "id 1",
      "scan Fixture A", "type U1"},
     "1 waits / 2 waits / - / bound 1=U1 scanned / left, let go 1=U1 / 2 none / 1 waits / "
     "1 none / - / bound 1=U1 scanned",
     "only_one_waiting 2"},
    {"OldestFirstLetsGoAnIdWhoseMeterLeftToo",
     kOldest,
     {"arrive 1", "arrive 2", "type U1", "leave 1", "id 2", "type U2"},
     "1 waits / 2 waits / bound 1=U1 oldest / left, let go 1=U1 / 2 none / bound 2=U2 oldest",
     "none_waiting"},
    {"OldestFirstKeepsIdsTypedAheadInOrder",
     kOldest,
     {"type U1", "type U2", "arrive 2", "arrive 1", "arrive 3"},
     "waiting / waiting / bound 2=U1 oldest / bound 1=U2 oldest / 3 waits",
     "oldest_first 3"},
    {"AnIdIsForOneUnitAtATime",
     kFixture,
     {"scan Fixture A", "type U1", "type U1", "arrive 1", "type U1", "end 1", "arrive 1",
      "type U1"},
     "- / waiting / refused waiting / bound 1=U1 scanned / refused on lane / ended / 1 waits / "
     "bound 1=U1 only",
     "none_waiting"},
    {"AFixtureTakesOneIdForItsMeter",
     kFixture,
     {"arrive 1", "scan Fixture A", "type U1", "scan Fixture A", "type U2", "id 1"},
     "1 waits / - / bound 1=U1 scanned / - / refused has id / 1=U1",
     "none_waiting"},
    {"ALaneThatEndsLetsGoItsIds",
     kFixture,
     {"scan Fixture A", "type U1", "arrive 2", "scan Fixture B", "close 2", "close 1", "type U1"},
     "- / waiting / 2 waits / - / closed / closed, let go 1=U1 / refused none",
     "none_waiting"},
    {"RefusedIdsAreNeverBound",
     kFixture,
     {"arrive 1", "type ", "type    ", "type " + std::string(65, 'x'), "type A\tB", "type A\x1b[2J",
      std::string("type A\0B", 8), "id 1"},
     "1 waits / refused empty / refused empty / refused long / refused control / "
     "refused control / refused control / 1 none",
     "only_one_waiting 1"},
    {"SixtyFourCharactersAndBlanksAroundAreFine",
     kFixture,
     {"arrive 1", "type  " + std::string(64, 'y') + " "},
     "1 waits / bound 1=" + std::string(64, 'y') + " only",
     "none_waiting"},
    {"BadgesNameTheOperatorAndAreCheckedLikeIds",
     kFixture,
     {"op  J. Smith ", "op ", "op A\x1b[2J", "op " + std::string(65, 'o'), "arrive 1", "type OP:X"},
     "operator J. Smith / refused empty / refused control / refused long / 1 waits / "
     "operator X",
     "only_one_waiting 1"},
    // What a scanner types is UTF-8, kept as typed; a Latin-1 byte is refused, not guessed at.
    {"Utf8IdsAndNamesAreTakenAndOtherBytesRefused",
     kFixture,
     {"op Jürgen", "op J\xFCrgen", "type \xDCnit-7", "arrive 1", "type Ünit-7"},
     "operator Jürgen / refused not utf-8 / refused not utf-8 / 1 waits / bound 1=Ünit-7 only",
     "none_waiting"},
};

std::string refusalWord(UnitIdRefusal refusal) {
    switch (refusal) {
    case UnitIdRefusal::Empty:
        return "empty";
    case UnitIdRefusal::TooLong:
        return "long";
    case UnitIdRefusal::ControlCharacter:
        return "control";
    case UnitIdRefusal::NotUtf8:
        return "not utf-8";
    case UnitIdRefusal::OnALane:
        return "on lane";
    case UnitIdRefusal::AlreadyWaiting:
        return "waiting";
    case UnitIdRefusal::NoSuchLane:
        return "no lane";
    case UnitIdRefusal::TwoLanes:
        return "two lanes";
    case UnitIdRefusal::ScanTheFixture:
        return "scan";
    case UnitIdRefusal::NoMeterWaits:
        return "none";
    case UnitIdRefusal::LaneHasId:
        return "has id";
    case UnitIdRefusal::None:
        break;
    }
    return "?";
}

std::string howWord(UnitIdHow how) {
    return how == UnitIdHow::ScannedLane      ? "scanned"
           : how == UnitIdHow::OnlyOneWaiting ? "only"
                                              : "oldest";
}

std::string targetWords(const UnitIdTarget& target) {
    std::string words = unitIdTargetCode(target.kind);
    if (target.kind != UnitIdTarget::Kind::NoneWaiting &&
        target.kind != UnitIdTarget::Kind::ScanFirst) {
        words += " " + std::to_string(target.lane.number);
    }
    return words;
}

// The news in words; "-" when there is none worth a word.
std::string newsWords(const UnitIdNews& news) {
    std::vector<std::string> parts;
    for (const UnitIdBinding& binding : news.bound) {
        EXPECT_EQ(news.refusal, UnitIdRefusal::None);
        parts.push_back("bound " + std::to_string(binding.lane.number) + "=" + binding.lane.unitId +
                        " " + howWord(binding.how));
    }
    for (const LaneTag& lane : news.released) {
        parts.push_back("let go " + std::to_string(lane.number) + "=" + lane.unitId);
    }
    if (news.refusal != UnitIdRefusal::None) {
        parts.push_back("refused " + refusalWord(news.refusal));
    }
    if (news.newOperator) {
        parts.push_back("operator " + *news.newOperator);
    }
    if (news.target && news.target->dropped != UnitIdTarget::Dropped::No) {
        parts.push_back(
            (news.target->dropped == UnitIdTarget::Dropped::Replaced ? "replaced " : "lapsed ") +
            std::to_string(news.target->droppedLane.number));
    }
    std::string words;
    for (const std::string& part : parts) {
        words += (words.empty() ? "" : ", ") + part;
    }
    return words;
}

class Rig {
public:
    explicit Rig(UnitIdOrder order) : ids_(order) {
        const char* const names[] = {"Fixture A", "Fixture B", "", "", "", ""};
        const char* const serials[] = {"S1", "S2", "S3", "S4", "T", "T"};
        for (int lane = 1; lane <= 6; ++lane) {
            LaneTag tag;
            tag.number = lane;
            tag.name = names[lane - 1];
            tag.serial = serials[lane - 1];
            ids_.laneOpened(tag);
        }
    }

    std::string step(const std::string& what) {
        const std::size_t space = what.find(' ');
        const std::string verb = what.substr(0, space);
        const std::string rest = what.substr(space + 1);
        if (verb == "type" || verb == "scan" || verb == "op") {
            const std::string line = verb == "scan" ? "LANE:" + rest
                                     : verb == "op" ? "OP:" + rest
                                                    : rest;
            const UnitIdNews news = takeScanLine(ids_, &who_, line, now_);
            const bool kept = verb == "type" && news.bound.empty() &&
                              news.refusal == UnitIdRefusal::None && !news.newOperator;
            const std::string words = newsWords(news);
            return kept ? "waiting" : words.empty() ? "-" : words;
        }
        if (verb == "wait") {
            now_ += std::chrono::seconds(std::stoi(rest));
            const std::string words = newsWords(ids_.lapse(now_));
            return words.empty() ? "-" : words;
        }
        const int lane = std::stoi(rest);
        if (verb == "arrive" || verb == "id") {
            UnitIdNews news;
            const std::optional<std::string> id =
                verb == "id" ? ids_.idFor(lane) : ids_.meterArrived(lane, now_, news);
            if (id) {
                return verb == "id" ? rest + "=" + *id : newsWords(news);
            }
            return rest + (verb == "id" ? " none" : " waits");
        }
        if (verb == "leave" || verb == "close") {
            const UnitIdNews news =
                verb == "leave" ? ids_.meterLeft(lane, now_) : ids_.laneClosed(lane, now_);
            const std::string words = newsWords(news);
            return (verb == "leave" ? "left" : "closed") + (words.empty() ? "" : ", " + words);
        }
        ids_.unitEnded(lane);
        return "ended";
    }

    std::string target() const { return targetWords(ids_.target()); }
    std::string operatorName() const { return who_.get(); }

private:
    UnitIds ids_;
    OperatorName who_;
    UnitIds::Clock::time_point now_{};
};

void PrintTo(const IdCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class UnitIdScans : public ::testing::TestWithParam<IdCase> {};

TEST_P(UnitIdScans, GivesEachIdToTheMeterItWasScannedFor) {
    const IdCase& c = GetParam();
    Rig rig(c.order);
    std::string said;
    for (const std::string& what : c.steps) {
        said += (said.empty() ? "" : " / ") + rig.step(what);
    }
    EXPECT_EQ(said, c.said);
    EXPECT_EQ(rig.target(), c.target);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnitIdScans, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<IdCase>& param) {
                             return std::string(param.param.name);
                         });

// Every change of where the next id goes is news once, and only then: the screen's line and
// the unit_id_target events follow it.
TEST(UnitIdTargets, EachMoveIsToldOnce) {
    UnitIds ids;
    LaneTag a;
    a.number = 1;
    a.name = "Fixture A";
    ids.laneOpened(a);
    const UnitIds::Clock::time_point now{};
    UnitIdNews news;
    ids.meterArrived(1, now, news);
    ASSERT_TRUE(news.target);
    EXPECT_EQ(targetWords(*news.target), "only_one_waiting 1");
    EXPECT_FALSE(ids.lapse(now).target) << "nothing moved";
    UnitIdNews again;
    ids.meterArrived(1, now, again);
    EXPECT_FALSE(again.target) << "a meter asking again moves nothing";
    const UnitIdNews scanned = ids.scanLane("Fixture A", now);
    ASSERT_TRUE(scanned.target);
    EXPECT_EQ(targetWords(*scanned.target), "scanned 1");
    const UnitIdNews bound = ids.offer("U1", now);
    ASSERT_TRUE(bound.target);
    EXPECT_EQ(targetWords(*bound.target), "none_waiting");
    EXPECT_EQ(bound.target->waiting, 0);
}

} // namespace
} // namespace pxr7
