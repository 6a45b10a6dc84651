#include "unit_ids.h"

#include "utf8.h"

#include <algorithm>
#include <utility>

namespace pxr7 {

std::string withoutBlanks(const std::string& typed) {
    const std::size_t first = typed.find_first_not_of(' ');
    return first == std::string::npos
               ? ""
               : typed.substr(first, typed.find_last_not_of(' ') - first + 1);
}

UnitIdRefusal checkUnitIdText(const std::string& id) {
    if (id.empty()) {
        return UnitIdRefusal::Empty;
    }
    if (id.size() > kLongestUnitId) {
        return UnitIdRefusal::TooLong;
    }
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return UnitIdRefusal::ControlCharacter;
        }
    }
    return isUtf8(id) ? UnitIdRefusal::None : UnitIdRefusal::NotUtf8;
}

void UnitIds::laneOpened(const LaneTag& lane) {
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& entry = lanes_[lane.number];
    entry.tag = lane;
    entry.tag.unitId.clear();
}

UnitIdNews UnitIds::laneClosed(int lane, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    UnitIdNews news;
    lapseLocked(now);
    const auto found = lanes_.find(lane);
    if (found != lanes_.end()) {
        release(found->second, news);
        if (found->second.scanned) {
            LaneTag tag = found->second.tag;
            tag.unitId = *found->second.scanned;
            news.released.push_back(tag);
        }
        lanes_.erase(found);
    }
    if (chosen_ == lane) {
        chosen_.reset();
    }
    noteTarget(news);
    return news;
}

UnitIdNews UnitIds::scanLane(const std::string& label, Clock::time_point now) {
    const std::string name = withoutBlanks(label);
    std::lock_guard<std::mutex> lock(mutex_);
    UnitIdNews news;
    lapseLocked(now);
    UnitIdRefusal refusal = UnitIdRefusal::None;
    const std::optional<int> lane = laneLabelled(name, refusal);
    if (!lane) {
        news.refusal = refusal;
        news.refusedText = "LANE:" + name;
    } else {
        if (chosen_ && *chosen_ != *lane) {
            dropNote_ = UnitIdTarget::Dropped::Replaced;
            dropLane_ = lanes_[*chosen_].tag;
        }
        chosen_ = lane;
        chosenAt_ = now;
    }
    noteTarget(news);
    return news;
}

UnitIdNews UnitIds::offer(const std::string& typed, Clock::time_point now) {
    const std::string id = withoutBlanks(typed);
    UnitIdNews news;
    news.refusal = checkUnitIdText(id);
    std::lock_guard<std::mutex> lock(mutex_);
    lapseLocked(now);
    if (news.refusal == UnitIdRefusal::None) {
        const bool scannedFor = std::any_of(
            lanes_.begin(), lanes_.end(), [&id](const auto& l) { return l.second.scanned == id; });
        if (scannedFor ||
            std::find(waitingIds_.begin(), waitingIds_.end(), id) != waitingIds_.end()) {
            news.refusal = UnitIdRefusal::AlreadyWaiting;
        } else if (known(id)) {
            news.refusal = UnitIdRefusal::OnALane;
        }
    }
    if (news.refusal == UnitIdRefusal::None) {
        if (chosen_) {
            offerToChosen(id, news);
        } else {
            offerUnscanned(id, news);
        }
    }
    if (news.refusal != UnitIdRefusal::None) {
        news.refusedText = id;
    }
    noteTarget(news);
    return news;
}

// The scan is for this one id, bound or refused.
void UnitIds::offerToChosen(const std::string& id, UnitIdNews& news) {
    Lane& lane = lanes_[*chosen_];
    chosen_.reset();
    if (lane.bound || lane.scanned) {
        news.refusal = UnitIdRefusal::LaneHasId;
    } else if (lane.waiting) {
        bind(lane, id, UnitIdHow::ScannedLane, news);
    } else {
        lane.scanned = id;
        news.waitingChanged = true;
    }
}

void UnitIds::offerUnscanned(const std::string& id, UnitIdNews& news) {
    const std::optional<int> oldest = oldestWaiting();
    if (order_ == UnitIdOrder::OldestFirst) {
        if (oldest) {
            bind(lanes_[*oldest], id, UnitIdHow::OldestFirst, news);
        } else {
            waitingIds_.push_back(id);
            news.waitingChanged = true;
        }
        return;
    }
    const int count = waitingCount();
    if (count == 1) {
        bind(lanes_[*oldest], id, UnitIdHow::OnlyOneWaiting, news);
    } else {
        news.refusal = count == 0 ? UnitIdRefusal::NoMeterWaits : UnitIdRefusal::ScanTheFixture;
    }
}

std::optional<std::string> UnitIds::meterArrived(int lane, Clock::time_point now,
                                                 UnitIdNews& news) {
    std::lock_guard<std::mutex> lock(mutex_);
    lapseLocked(now);
    Lane& entry = lanes_[lane];
    entry.tag.number = lane;
    std::optional<std::string> id;
    if (entry.bound) {
        id = entry.bound;
    } else if (entry.scanned) {
        id = std::exchange(entry.scanned, std::nullopt);
        bind(entry, *id, UnitIdHow::ScannedLane, news);
        news.waitingChanged = true;
    } else if (order_ == UnitIdOrder::OldestFirst && !waitingIds_.empty()) {
        id = waitingIds_.front();
        waitingIds_.pop_front();
        bind(entry, *id, UnitIdHow::OldestFirst, news);
        news.waitingChanged = true;
    }
    if (id) {
        entry.waiting = false;
    } else if (!entry.waiting) {
        // Behind every meter that waits already, also one swapped onto a lane that waited.
        entry.waiting = true;
        entry.since = ++arrivals_;
    }
    noteTarget(news);
    return id;
}

std::optional<std::string> UnitIds::idFor(int lane) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = lanes_.find(lane);
    return found != lanes_.end() ? found->second.bound : std::nullopt;
}

UnitIdNews UnitIds::meterLeft(int lane, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    UnitIdNews news;
    lapseLocked(now);
    const auto found = lanes_.find(lane);
    if (found != lanes_.end()) {
        release(found->second, news);
    }
    noteTarget(news);
    return news;
}

void UnitIds::unitEnded(int lane) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = lanes_.find(lane);
    if (found != lanes_.end()) {
        found->second.bound.reset();
        found->second.waiting = false;
    }
}

UnitIdNews UnitIds::lapse(Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    UnitIdNews news;
    lapseLocked(now);
    noteTarget(news);
    return news;
}

UnitIdTarget UnitIds::target() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return targetLocked();
}

std::vector<std::string> UnitIds::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> ids(waitingIds_.begin(), waitingIds_.end());
    for (const auto& entry : lanes_) {
        if (entry.second.scanned) {
            ids.push_back(*entry.second.scanned);
        }
    }
    return ids;
}

// The caller holds the lock from here on.

bool UnitIds::known(const std::string& id) const {
    return std::any_of(lanes_.begin(), lanes_.end(),
                       [&id](const auto& entry) { return entry.second.bound == id; });
}

// A lane answers to its name in the bench file, or to its serial number when it has none.
std::optional<int> UnitIds::laneLabelled(const std::string& label, UnitIdRefusal& refusal) const {
    std::optional<int> found;
    for (const auto& entry : lanes_) {
        const LaneTag& tag = entry.second.tag;
        const std::string& own = tag.name.empty() ? tag.serial : tag.name;
        if (label.empty() || own != label) {
            continue;
        }
        if (found) {
            refusal = UnitIdRefusal::TwoLanes;
            return std::nullopt;
        }
        found = entry.first;
    }
    refusal = found ? UnitIdRefusal::None : UnitIdRefusal::NoSuchLane;
    return found;
}

std::optional<int> UnitIds::oldestWaiting() const {
    std::optional<int> oldest;
    long long since = 0;
    for (const auto& entry : lanes_) {
        const Lane& lane = entry.second;
        if (lane.waiting && !lane.bound && (!oldest || lane.since < since)) {
            oldest = entry.first;
            since = lane.since;
        }
    }
    return oldest;
}

int UnitIds::waitingCount() const {
    return static_cast<int>(std::count_if(lanes_.begin(), lanes_.end(), [](const auto& entry) {
        return entry.second.waiting && !entry.second.bound;
    }));
}

UnitIdTarget UnitIds::targetLocked() const {
    UnitIdTarget target;
    target.waiting = waitingCount();
    const std::optional<int> oldest = oldestWaiting();
    if (chosen_) {
        target.kind = UnitIdTarget::Kind::Scanned;
        target.lane = lanes_.at(*chosen_).tag;
    } else if (!oldest) {
        target.kind = UnitIdTarget::Kind::NoneWaiting;
    } else if (order_ == UnitIdOrder::OldestFirst || target.waiting == 1) {
        target.kind = order_ == UnitIdOrder::OldestFirst ? UnitIdTarget::Kind::Oldest
                                                         : UnitIdTarget::Kind::OnlyOne;
        target.lane = lanes_.at(*oldest).tag;
    } else {
        target.kind = UnitIdTarget::Kind::ScanFirst;
    }
    return target;
}

void UnitIds::bind(Lane& lane, const std::string& id, UnitIdHow how, UnitIdNews& news) {
    lane.bound = id;
    UnitIdBinding binding;
    binding.lane = lane.tag;
    binding.lane.unitId = id;
    binding.how = how;
    news.bound.push_back(binding);
}

// The lane's waiting meter is gone: its place in line, and the id scanned for it, with it.
void UnitIds::release(Lane& lane, UnitIdNews& news) {
    lane.waiting = false;
    if (lane.bound) {
        LaneTag tag = lane.tag;
        tag.unitId = *lane.bound;
        news.released.push_back(tag);
        lane.bound.reset();
    }
}

void UnitIds::lapseLocked(Clock::time_point now) {
    if (chosen_ && now - chosenAt_ >= kLaneScanKept) {
        dropNote_ = UnitIdTarget::Dropped::Lapsed;
        dropLane_ = lanes_[*chosen_].tag;
        chosen_.reset();
    }
}

void UnitIds::noteTarget(UnitIdNews& news) {
    UnitIdTarget now = targetLocked();
    now.dropped = std::exchange(dropNote_, UnitIdTarget::Dropped::No);
    now.droppedLane = dropLane_;
    if (now.dropped != UnitIdTarget::Dropped::No || !now.sameAs(told_)) {
        news.target = now;
        told_ = now;
        told_.dropped = UnitIdTarget::Dropped::No;
    }
}

} // namespace pxr7
