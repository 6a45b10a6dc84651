// One simulated FT232R bridge with its meter: the EEPROM, presence on the bus, the line
// settings, and the two directions of the serial line. Bytes the host writes reach the meter
// at their wire times (10 bits each at the host's baud rate, one after the other); bytes the
// meter sends come back through the chip's receive path. Everything is evaluated lazily at the
// time of each call: advance(now) brings the bridge up to date.
#pragma once

#include "eeprom_image.h"
#include "meter.h"
#include "meter_slot.h"
#include "receive_path.h"
#include "scenario.h"
#include "sim_time.h"
#include "write_fault.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace sim {

constexpr std::uint32_t kDefaultTimeoutMs = 300;

class Bridge {
public:
    // Bench times (appear_ms, leave_ms, meter windows, busy windows) count from origin. What
    // its meter units do goes to units (if not null) under the bridge's number.
    Bridge(const BridgeScenario& config, const EepromImage& eeprom, const std::string& version,
           int latencyMs, Micros origin = 0, UnitLog* units = nullptr, int number = 0);
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    bool present(Micros now) const { return now >= goneUntil_ && now >= appearAt_ && !left(now); }
    // Pulled out for good at leave_ms: every handle on it is dead.
    bool left(Micros now) const { return now >= leaveAt_; }
    bool isOpen() const { return open_; }
    // Held by another program now (busy_ms): it cannot be opened.
    bool busy(Micros now) const;

    // Opening starts from the driver's defaults: 9600 baud 8N1, no flow control, timeouts of
    // 300 ms, empty receive queue, the scenario's latency timer. The DTR line keeps its level.
    void open(Micros now);
    void close() { open_ = false; }
    // Drops off the bus for reenumerateMs and comes back showing the EEPROM as now programmed.
    void cycle(Micros now, int reenumerateMs);
    // A handle on it was closed: with unplug_after_opens, it may leave the bus for good.
    void handleClosed();

    void advance(Micros now);
    // The next time something can change for a reader: a byte reaching the meter, a packet
    // reaching the host, or the lead being pulled.
    Micros nextEvent() const;
    bool readsFail(Micros now) const { return now >= slot_.readsFailAt(); }
    bool readsHang(Micros now) const { return now >= slot_.readsHangAt(); }

    // Queues the bytes of an FT_Write, or as many of them as the scenario's write_fault lets go
    // out, and tells how it went.
    WriteOutcome write(Micros now, const std::uint8_t* bytes, std::uint32_t count);
    // FT_PURGE_RX drops what has arrived but was not read; FT_PURGE_TX drops what is still
    // waiting to go out on the wire.
    void purge(Micros now, std::uint32_t mask);
    void setDtr(Micros now, bool asserted);
    // FT_SetLatencyTimer: the chip holds a short packet up to latencyMs from now on, until the
    // bridge is opened again.
    void setLatencyTimer(Micros now, int latencyMs);
    int latencyTimerMs() const { return latencyTimerMs_; }
    std::size_t take(std::uint8_t* out, std::size_t max) { return receive_.take(out, max); }
    std::size_t available() const { return receive_.available(); }

    const BridgeScenario& config() const { return config_; }
    // The meter on the lead now, or null (outside its meter windows).
    Meter* meter() { return slot_.meter(); }
    std::string meterVersion() const { return slot_.version(); }
    bool takeVersionChanged() { return slot_.takeVersionChanged(); }

    EepromImage eeprom;     // what FT_EE_Read returns and FT_EE_Program replaces
    EepromImage enumerated; // what the bridge showed the driver when it last enumerated
    LineFormat line{};
    std::uint32_t readTimeoutMs = kDefaultTimeoutMs;
    std::uint32_t writeTimeoutMs = kDefaultTimeoutMs;

private:
    // Hands the meter the bytes that reach it before t (or at t too, when inclusive).
    void deliver(Micros t, bool inclusive);

    struct HostByte {
        Micros arrival;
        std::uint8_t byte;
        LineFormat line;
    };

    BridgeScenario config_;
    int latencyMs_;      // the scenario's: what every open starts from
    int latencyTimerMs_; // now in force
    bool open_ = false;
    bool dtr_ = false;
    Micros goneUntil_ = 0;
    Micros appearAt_;
    Micros leaveAt_;
    std::vector<std::pair<Micros, Micros>> busy_;
    UnitLog* units_;
    int number_;
    int handlesClosed_ = 0;
    ReceivePath receive_;
    MeterSlot slot_;
    WriteFaultPlan writeFault_;
    std::deque<HostByte> toMeter_;
    Micros txFreeAt_ = 0;
};

} // namespace sim
