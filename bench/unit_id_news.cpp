#include "unit_id_news.h"

namespace pxr7 {

const char* unitIdRefusalText(UnitIdRefusal refusal) {
    switch (refusal) {
    case UnitIdRefusal::None:
        return "";
    case UnitIdRefusal::Empty:
        return "the id is empty";
    case UnitIdRefusal::TooLong:
        return "the id is longer than 64 characters";
    case UnitIdRefusal::ControlCharacter:
        return "the id holds a control character";
    case UnitIdRefusal::NotUtf8:
        return "the id holds bytes that are not UTF-8 text (is the scanner set to UTF-8?)";
    case UnitIdRefusal::OnALane:
        return "the id is already given to a meter on a lane";
    case UnitIdRefusal::AlreadyWaiting:
        return "the id is already waiting for a meter";
    case UnitIdRefusal::NoSuchLane:
        return "no lead on the bench has that name or serial number";
    case UnitIdRefusal::TwoLanes:
        return "two leads on the bench answer to that label: scan the other one's";
    case UnitIdRefusal::ScanTheFixture:
        return "several meters wait for an id: scan the fixture first";
    case UnitIdRefusal::NoMeterWaits:
        return "no meter waits for an id: clip it on, or scan its fixture first";
    case UnitIdRefusal::LaneHasId:
        return "the meter on that fixture has its id already";
    }
    return "";
}

const char* unitIdHowCode(UnitIdHow how) {
    switch (how) {
    case UnitIdHow::ScannedLane:
        return "scanned_lane";
    case UnitIdHow::OnlyOneWaiting:
        return "only_one_waiting";
    case UnitIdHow::OldestFirst:
        return "oldest_first";
    }
    return "";
}

const char* unitIdTargetCode(UnitIdTarget::Kind kind) {
    switch (kind) {
    case UnitIdTarget::Kind::NoneWaiting:
        return "none_waiting";
    case UnitIdTarget::Kind::Scanned:
        return "scanned";
    case UnitIdTarget::Kind::OnlyOne:
        return "only_one_waiting";
    case UnitIdTarget::Kind::Oldest:
        return "oldest_first";
    case UnitIdTarget::Kind::ScanFirst:
        return "scan_fixture";
    }
    return "";
}

bool UnitIdTarget::sameAs(const UnitIdTarget& other) const {
    return kind == other.kind && lane.number == other.lane.number && waiting == other.waiting &&
           dropped == other.dropped;
}

void tellUnitIdNews(StationObserver& observer, const UnitIdNews& news,
                    const std::vector<std::string>& waiting) {
    if (news.newOperator) {
        observer.operatorChanged(*news.newOperator);
    }
    if (news.refusal != UnitIdRefusal::None) {
        observer.unitIdRefused(news.refusedText, unitIdRefusalText(news.refusal));
    }
    for (const LaneTag& lane : news.released) {
        observer.unitIdReleased(lane);
    }
    for (const UnitIdBinding& binding : news.bound) {
        observer.unitIdBound(binding);
    }
    if (news.waitingChanged) {
        observer.unitIdsWaiting(waiting);
    }
    if (news.target) {
        observer.unitIdTarget(*news.target);
    }
}

} // namespace pxr7
