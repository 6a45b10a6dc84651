#include "lane_board.h"

#include "lane_words.h"
#include "outcome_tally.h"
#include "printable.h"

namespace pxr7 {

void boardAppeared(BoardLane& lane) {
    lane.row.state = "looking at the lead";
    lane.row.tone = LaneTone::Working;
}

void boardState(BoardLane& lane, LaneState state, const std::string& reason) {
    LaneRow row = laneStateRow(lane.tag, state, reason);
    // Seen from across the room: the outcome's words, and a failure's red and advice, stay
    // until the meter is taken off.
    if (state == LaneState::RemoveMeter) {
        row.state = lane.row.state;
        if (lane.row.tone == LaneTone::Bad) {
            row.tone = lane.row.tone;
            row.next = lane.row.next;
            row.brief = lane.row.brief;
        }
    }
    lane.row = row;
}

void boardArrived(BoardLane& lane, const std::string& version) {
    lane.row = LaneRow{};
    lane.row.state = "meter arrived: " + printable(version);
    lane.row.tone = LaneTone::Working;
}

void boardPhase(BoardLane& lane, Phase phase, int attempt) {
    lane.row = LaneRow{};
    lane.row.tone = LaneTone::Working;
    lane.row.state = laneAttemptText(phase, attempt);
    lane.row.sending = phase == Phase::Sending;
    lane.row.progress.attempt = attempt;
}

void boardOutcome(BoardLane& lane, const MeterRun& meter) {
    addTally(lane.counts, tallyOf(meter.outcome()));
    lane.row = laneOutcomeRow(meter);
    lane.lastOutcome = lane.row.state;
}

void boardVerifiedLate(BoardLane& lane, const std::string& version) {
    lane.row = LaneRow{};
    lane.row.state = "started late on " + printable(version) + " (its line says meter_silent)";
    lane.row.next = "raise verify_seconds in the bench file for meters this slow";
    lane.row.tone = LaneTone::Good;
}

std::string countsText(const StationTotals& counts) {
    return std::to_string(counts.ok) + " ok, " + std::to_string(counts.current) + " current, " +
           std::to_string(counts.failed) + " failed";
}

} // namespace pxr7
