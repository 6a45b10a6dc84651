// The FT232R's receive side: bytes from the meter arrive in the chip at their wire times and
// reach the host in USB packets. A packet leaves when the latency timer ticks (every latency
// ms, counted from the bridge's open or the timer's last setting) with data waiting, or as
// soon as 62 bytes have gathered (a 64-byte packet less its two status bytes). Evaluated
// lazily: nothing runs between calls.
#pragma once

#include "sim_time.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace sim {

class ReceivePath {
public:
    // The bridge was opened at openTime: queues empty, latency ticks start from here.
    void restart(Micros openTime, int latencyMs);

    // The latency timer set to latencyMs at now: it starts counting again from now, so what
    // already waits in the chip leaves at the first tick after now.
    void setLatency(Micros now, int latencyMs);

    // A byte from the meter that will have arrived in the chip at the given time. Times are
    // kept in order.
    void schedule(Micros arrival, std::uint8_t byte);

    // The meter was reset at t: what it had not yet sent never comes.
    void cancelAfter(Micros t);

    // FT_Purge(FT_PURGE_RX) at now: drops what the host has not read and what already sits in
    // the chip. Bytes still on their way arrive later as usual.
    void purge(Micros now);

    // Moves every packet that has left the chip by now into the host's queue.
    void advance(Micros now);

    // When the next packet will reach the host, from what is known now; kNever if none.
    Micros nextDelivery() const;

    std::size_t available() const { return ready_.size(); }
    std::size_t take(std::uint8_t* out, std::size_t max);

private:
    struct TimedByte {
        Micros arrival;
        std::uint8_t byte;
    };
    struct Packet {
        Micros leaves;
        std::size_t count;
    };

    Packet firstPacket() const;
    Micros tickAtOrAfter(Micros t) const;

    std::deque<TimedByte> inChip_; // arrived or still on the wire, in arrival order
    std::deque<std::uint8_t> ready_;
    Micros phase_ = 0; // a time the timer started counting from; ticks fall latency_ apart
    Micros latency_ = 0;
};

} // namespace sim
