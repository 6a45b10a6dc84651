#include "bridge.h"

#include <algorithm>

namespace sim {

namespace {
constexpr LineFormat kDriverDefaultLine{9600, 8, 0, 0, 0};
constexpr std::uint8_t kCommandStart = 0x02; // STX, the first byte of a command frame

Micros benchTime(Micros origin, long ms, Micros otherwise) {
    return ms < 0 ? otherwise : origin + millis(ms);
}

} // namespace

Bridge::Bridge(const BridgeScenario& config, const EepromImage& image, const std::string& version,
               int latencyMs, Micros origin, UnitLog* units, int number)
    : eeprom(image), enumerated(image), line(kDriverDefaultLine), config_(config),
      latencyMs_(latencyMs), latencyTimerMs_(latencyMs),
      appearAt_(benchTime(origin, config.appearMs, 0)),
      leaveAt_(benchTime(origin, config.leaveMs, kNever)), units_(units), number_(number),
      slot_(config_, version, receive_, origin, units, number), writeFault_(config_.writeFault) {
    for (const auto& window : config_.busyWindows) {
        busy_.emplace_back(origin + millis(window.first), origin + millis(window.second));
    }
}

bool Bridge::busy(Micros now) const {
    for (const auto& window : busy_) {
        if (now >= window.first && now < window.second) {
            return true;
        }
    }
    return false;
}

void Bridge::open(Micros now) {
    advance(now);
    open_ = true;
    line = kDriverDefaultLine;
    readTimeoutMs = kDefaultTimeoutMs;
    writeTimeoutMs = kDefaultTimeoutMs;
    latencyTimerMs_ = latencyMs_;
    receive_.restart(now, latencyMs_);
}

void Bridge::cycle(Micros now, int reenumerateMs) {
    advance(now);
    open_ = false;
    goneUntil_ = now + millis(reenumerateMs);
    enumerated = eeprom;
    toMeter_.clear();
    // The chip restarts with its outputs inactive.
    setDtr(now, false);
}

void Bridge::handleClosed() {
    ++handlesClosed_;
    if (config_.unplugAfterOpens > 0 && handlesClosed_ >= config_.unplugAfterOpens) {
        open_ = false;
        goneUntil_ = kNever;
    }
}

void Bridge::deliver(Micros t, bool inclusive) {
    while (!toMeter_.empty() &&
           (toMeter_.front().arrival < t || (inclusive && toMeter_.front().arrival == t))) {
        const HostByte next = toMeter_.front();
        toMeter_.pop_front();
        slot_.receive(next.arrival, next.byte, next.line);
    }
}

void Bridge::advance(Micros now) {
    // A meter clipped on or taken off in the meantime sees exactly the bytes of its own time.
    for (Micros edge = slot_.nextEdge(); edge <= now; edge = slot_.nextEdge()) {
        deliver(edge, false);
        receive_.advance(edge);
        slot_.passEdge(dtr_);
    }
    deliver(now, true);
    receive_.advance(now);
}

Micros Bridge::nextEvent() const {
    Micros next = std::min({receive_.nextDelivery(), slot_.readsFailAt(), slot_.readsHangAt(),
                            slot_.nextEdge(), leaveAt_});
    if (!toMeter_.empty()) {
        next = std::min(next, toMeter_.front().arrival);
    }
    return next;
}

WriteOutcome Bridge::write(Micros now, const std::uint8_t* bytes, std::uint32_t count) {
    advance(now);
    const WriteOutcome outcome = writeFault_.judge(bytes, count);
    const Micros start = std::max(now, txFreeAt_);
    for (std::uint32_t i = 0; i < outcome.accepted; ++i) {
        txFreeAt_ = start + byteEndTime(i, line.baud);
        toMeter_.push_back(HostByte{txFreeAt_, bytes[i], line});
    }
    // A command frame at the meter's speed: the host asks whatever is on the lead, if anything.
    if (units_ != nullptr && outcome.accepted > 0 && bytes[0] == kCommandStart &&
        line.baud == kApplicationBaud) {
        units_->noteLead(number_, txFreeAt_, "asked");
    }
    return outcome;
}

void Bridge::purge(Micros now, std::uint32_t mask) {
    advance(now);
    if ((mask & FT_PURGE_RX) != 0) {
        receive_.purge(now);
    }
    if ((mask & FT_PURGE_TX) != 0) {
        toMeter_.clear();
        txFreeAt_ = std::min(txFreeAt_, now);
    }
}

void Bridge::setDtr(Micros now, bool asserted) {
    advance(now);
    if (dtr_ && !asserted) {
        writeFault_.resetPulseEnded();
    }
    if (dtr_ != asserted && units_ != nullptr) {
        units_->noteLead(number_, now, asserted ? "dtr=on" : "dtr=off");
    }
    dtr_ = asserted;
    slot_.setDtr(now, asserted);
}

void Bridge::setLatencyTimer(Micros now, int latencyMs) {
    advance(now);
    latencyTimerMs_ = latencyMs;
    receive_.setLatency(now, latencyMs);
}

} // namespace sim
