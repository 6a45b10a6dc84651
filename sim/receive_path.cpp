#include "receive_path.h"

#include <algorithm>

namespace sim {

namespace {
constexpr std::size_t kPacketPayload = 62;
} // namespace

void ReceivePath::restart(Micros openTime, int latencyMs) {
    ready_.clear();
    // Whatever the meter said while nobody listened is gone; what it is still saying is not.
    while (!inChip_.empty() && inChip_.front().arrival <= openTime) {
        inChip_.pop_front();
    }
    phase_ = openTime;
    latency_ = millis(latencyMs);
}

void ReceivePath::setLatency(Micros now, int latencyMs) {
    advance(now);
    phase_ = now;
    latency_ = millis(latencyMs);
}

void ReceivePath::schedule(Micros arrival, std::uint8_t byte) {
    const TimedByte timed{arrival, byte};
    auto position =
        std::upper_bound(inChip_.begin(), inChip_.end(), arrival,
                         [](Micros t, const TimedByte& existing) { return t < existing.arrival; });
    inChip_.insert(position, timed);
}

void ReceivePath::cancelAfter(Micros t) {
    while (!inChip_.empty() && inChip_.back().arrival > t) {
        inChip_.pop_back();
    }
}

void ReceivePath::purge(Micros now) {
    ready_.clear();
    while (!inChip_.empty() && inChip_.front().arrival <= now) {
        inChip_.pop_front();
    }
}

Micros ReceivePath::tickAtOrAfter(Micros t) const {
    if (t <= phase_) {
        // A byte already in the chip when the timer was set goes at the new timer's first
        // tick. (Opening drops what arrived until then, so after an open t > phase_.)
        return phase_ + latency_;
    }
    const Micros ticks = (t - phase_ + latency_ - 1) / latency_;
    return phase_ + ticks * latency_;
}

ReceivePath::Packet ReceivePath::firstPacket() const {
    const Micros first = inChip_.front().arrival;
    if (latency_ == 0) {
        return Packet{first, 1};
    }
    const Micros tick = tickAtOrAfter(first);
    std::size_t count = 0;
    while (count < inChip_.size() && count < kPacketPayload && inChip_[count].arrival <= tick) {
        ++count;
    }
    if (count == kPacketPayload) {
        // The buffer filled before the timer ran out.
        return Packet{inChip_[kPacketPayload - 1].arrival, count};
    }
    return Packet{tick, count};
}

void ReceivePath::advance(Micros now) {
    while (!inChip_.empty()) {
        const Packet packet = firstPacket();
        if (packet.leaves > now) {
            return;
        }
        for (std::size_t i = 0; i < packet.count; ++i) {
            ready_.push_back(inChip_.front().byte);
            inChip_.pop_front();
        }
    }
}

Micros ReceivePath::nextDelivery() const {
    return inChip_.empty() ? kNever : firstPacket().leaves;
}

std::size_t ReceivePath::take(std::uint8_t* out, std::size_t max) {
    const std::size_t count = std::min(max, ready_.size());
    std::copy(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(count), out);
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

} // namespace sim
