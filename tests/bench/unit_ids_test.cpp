// Which lane gets which unit id, one table of sequences: meters arriving on lanes, ids typed,
// meters leaving unserved, units ending. A wrong binding records a meter under another meter's
// id; a refused id must never be bound.
#include "unit_ids.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace pxr7 {
namespace {

struct IdCase {
    const char* name;
    std::vector<std::string> steps; // "arrive N", "type ID", "leave N", "end N", "id N"
    std::string said;               // what each step came to, joined with " / "
    std::string waiting;            // the ids waiting at the end, joined with ","
};

const IdCase kCases[] = {
    {"TypedBeforeAnyMeterWaitsForTheNext",
     {"type U1", "arrive 2", "arrive 1"},
     "waiting / 2=U1 / 1 waits",
     ""},
    {"TypedAfterGoesToTheMeterThatArrivedFirst",
     {"arrive 2", "arrive 1", "type U1", "id 1", "id 2", "type U2", "id 1"},
     "2 waits / 1 waits / bound 2 / 1 none / 2=U1 / bound 1 / 1=U2",
     ""},
    {"WaitingIdsGoOutInOrder",
     {"type U1", "type U2", "arrive 1", "arrive 2"},
     "waiting / waiting / 1=U1 / 2=U2",
     ""},
    {"AMeterLeavingUnservedConsumesNoId",
     {"arrive 1", "leave 1", "type U1", "arrive 2"},
     "1 waits / left / waiting / 2=U1",
     ""},
    {"AnIdBoundToAMeterThatLeftGoesBackToTheFront",
     {"type U1", "type U2", "arrive 1", "leave 1", "id 1"},
     "waiting / waiting / 1=U1 / left, ids changed / 1 none",
     "U1,U2"},
    {"AnIdBoundToAMeterThatLeftGoesToTheNextInLine",
     {"arrive 1", "arrive 2", "type U1", "leave 1", "id 2"},
     "1 waits / 2 waits / bound 1 / left / 2=U1",
     ""},
    {"AnIdIsForOneUnitOnly",
     {"type U1", "arrive 1", "end 1", "arrive 1", "type U1", "id 1"},
     "waiting / 1=U1 / ended / 1 waits / bound 1 / 1=U1",
     ""},
    {"RefusedIdsAreNeverBound",
     {"arrive 1", "type ", "type    ", "type " + std::string(65, 'x'), "type A\tB", "type A\x1b[2J",
      std::string("type A\0B", 8), "id 1"},
     "1 waits / refused empty / refused empty / refused long / refused control / "
     "refused control / refused control / 1 none",
     ""},
    {"SixtyFourCharactersAndBlanksAroundAreFine",
     {"type  " + std::string(64, 'y') + " ", "arrive 1", "type U1"},
     "waiting / 1=" + std::string(64, 'y') + " / waiting",
     "U1"},
    {"AnIdOnALaneOrWaitingIsRefused",
     {"type U1", "arrive 1", "type U1", "type U2", "type U2", "id 1"},
     "waiting / 1=U1 / refused on lane / waiting / refused waiting / 1=U1",
     "U2"},
    {"AMeterAskingAgainKeepsItsPlace",
     {"arrive 1", "arrive 2", "arrive 1", "type U1", "id 1"},
     "1 waits / 2 waits / 1 waits / bound 1 / 1=U1",
     ""},
};

std::string refusalWord(UnitIdRefusal refusal) {
    switch (refusal) {
    case UnitIdRefusal::Empty:
        return "empty";
    case UnitIdRefusal::TooLong:
        return "long";
    case UnitIdRefusal::ControlCharacter:
        return "control";
    case UnitIdRefusal::OnALane:
        return "on lane";
    case UnitIdRefusal::AlreadyWaiting:
        return "waiting";
    default:
        return "?";
    }
}

std::string step(UnitIds& ids, const std::string& what) {
    const std::size_t space = what.find(' ');
    const std::string verb = what.substr(0, space);
    const std::string rest = what.substr(space + 1);
    if (verb == "type") {
        const UnitIds::Offer offer = ids.offer(rest);
        if (offer.refusal != UnitIdRefusal::None) {
            EXPECT_EQ(offer.lane, 0);
            return "refused " + refusalWord(offer.refusal);
        }
        return offer.lane == 0 ? "waiting" : "bound " + std::to_string(offer.lane);
    }
    const int lane = std::stoi(rest);
    if (verb == "arrive" || verb == "id") {
        const std::optional<std::string> id =
            verb == "id" ? ids.idFor(lane) : ids.meterArrived(lane);
        return rest + (id ? "=" + *id : verb == "id" ? " none" : " waits");
    }
    if (verb == "leave") {
        return ids.meterLeft(lane) ? "left, ids changed" : "left";
    }
    ids.unitEnded(lane);
    return "ended";
}

void PrintTo(const IdCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class UnitIdBinding : public ::testing::TestWithParam<IdCase> {};

TEST_P(UnitIdBinding, GivesEachIdToTheRightLane) {
    const IdCase& c = GetParam();
    UnitIds ids;
    std::string said;
    for (const std::string& what : c.steps) {
        said += (said.empty() ? "" : " / ") + step(ids, what);
    }
    EXPECT_EQ(said, c.said);
    std::string waiting;
    for (const std::string& id : ids.waiting()) {
        waiting += (waiting.empty() ? "" : ",") + id;
    }
    EXPECT_EQ(waiting, c.waiting);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnitIdBinding, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<IdCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
} // namespace pxr7
