#include "unit_ids.h"

#include <algorithm>

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
    case UnitIdRefusal::OnALane:
        return "the id is already given to a meter on a lane";
    case UnitIdRefusal::AlreadyWaiting:
        return "the id is already waiting for a meter";
    }
    return "";
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
    return UnitIdRefusal::None;
}

UnitIds::Offer UnitIds::offer(const std::string& typed) {
    // Blanks a scanner or a person adds around an id are no part of it.
    const std::size_t first = typed.find_first_not_of(' ');
    const std::string id = first == std::string::npos
                               ? ""
                               : typed.substr(first, typed.find_last_not_of(' ') - first + 1);
    Offer offer;
    offer.refusal = checkUnitIdText(id);
    std::lock_guard<std::mutex> lock(mutex_);
    if (offer.refusal == UnitIdRefusal::None) {
        if (std::find(waitingIds_.begin(), waitingIds_.end(), id) != waitingIds_.end()) {
            offer.refusal = UnitIdRefusal::AlreadyWaiting;
        } else if (known(id)) {
            offer.refusal = UnitIdRefusal::OnALane;
        }
    }
    if (offer.refusal != UnitIdRefusal::None) {
        return offer;
    }
    if (!waitingLanes_.empty()) {
        offer.lane = waitingLanes_.front();
    }
    give(id, false);
    return offer;
}

std::optional<std::string> UnitIds::meterArrived(int lane) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto bound = bound_.find(lane);
    if (bound != bound_.end()) {
        return bound->second;
    }
    if (!waitingIds_.empty()) {
        bound_[lane] = waitingIds_.front();
        waitingIds_.pop_front();
        return bound_[lane];
    }
    if (std::find(waitingLanes_.begin(), waitingLanes_.end(), lane) == waitingLanes_.end()) {
        waitingLanes_.push_back(lane);
    }
    return std::nullopt;
}

std::optional<std::string> UnitIds::idFor(int lane) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto bound = bound_.find(lane);
    return bound != bound_.end() ? std::optional<std::string>(bound->second) : std::nullopt;
}

bool UnitIds::meterLeft(int lane) {
    std::lock_guard<std::mutex> lock(mutex_);
    waitingLanes_.erase(std::remove(waitingLanes_.begin(), waitingLanes_.end(), lane),
                        waitingLanes_.end());
    const auto bound = bound_.find(lane);
    if (bound == bound_.end()) {
        return false;
    }
    const std::string id = bound->second;
    bound_.erase(bound);
    const bool toLane = !waitingLanes_.empty();
    give(id, true);
    return !toLane;
}

void UnitIds::unitEnded(int lane) {
    std::lock_guard<std::mutex> lock(mutex_);
    bound_.erase(lane);
}

std::vector<std::string> UnitIds::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::vector<std::string>(waitingIds_.begin(), waitingIds_.end());
}

bool UnitIds::known(const std::string& id) const {
    for (const auto& entry : bound_) {
        if (entry.second == id) {
            return true;
        }
    }
    return false;
}

// To the first lane in line, else among the waiting ids. The caller holds the lock.
void UnitIds::give(const std::string& id, bool toFront) {
    if (!waitingLanes_.empty()) {
        bound_[waitingLanes_.front()] = id;
        waitingLanes_.pop_front();
    } else if (toFront) {
        waitingIds_.push_front(id);
    } else {
        waitingIds_.push_back(id);
    }
}

} // namespace pxr7
