// The PXR7 meter behind the bridge. In application mode it answers the framed "VERSION"
// command at 115200 baud; a DTR pulse (asserted, then cleared) resets it into its boot loader,
// which at 1,000,000 baud sends "}", takes "{", and then asks for 516-byte wire records with
// "!" until it has the whole image. The next DTR pulse starts the new firmware. Bytes sent on
// a line the meter does not expect (wrong baud rate, framing or flow control) are not
// understood and ignored.
#pragma once

#include "receive_path.h"
#include "scenario.h"
#include "sim_time.h"
#include "unit_log.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct LineFormat {
    std::uint32_t baud;
    std::uint8_t wordLength;
    std::uint8_t stopBits;
    std::uint8_t parity;
    std::uint16_t flowControl;
};

constexpr std::uint32_t kApplicationBaud = 115200;
constexpr std::uint32_t kBootLoaderBaud = 1000000;
constexpr std::size_t kRecordSize = 515;
constexpr std::size_t kWireRecordSize = kRecordSize + 1;
// The host's answer to the boot loader's "}".
constexpr std::uint8_t kHandshakeAnswer = '{';

class Meter {
public:
    // Replies go to toHost, which must outlive the meter; what the unit does goes to notes.
    Meter(const BridgeScenario& config, const std::string& version, ReceivePath& toHost,
          UnitNotes notes = UnitNotes());

    // One byte from the host, fully arrived at the meter at time at; line is the host's line
    // setting the byte was sent with.
    void receive(Micros at, std::uint8_t byte, const LineFormat& line);

    // The DTR line changed at time at. Asserting holds the meter in reset; clearing releases it.
    void setDtr(Micros at, bool asserted);

    const std::string& version() const { return version_; }
    bool inBootLoader() const { return mode_ == Mode::BootLoader; }
    bool held() const { return held_; }
    long recordsStored() const { return recordsStored_; }

    // This transfer (the boot loader session now started) stores record K and goes silent,
    // besides whatever the scenario says; a reset ends it.
    void stopThisTransferAfter(long record) { stopThisTransfer_ = record; }

    // Set when the version changed (the new firmware started); reading clears it.
    bool takeVersionChanged();

    // From this time on reads fail (the lead was pulled); kNever if they never do.
    Micros readsFailAt() const { return readsFailAt_; }
    // From this time on reads never return (a driver stuck in a call); kNever if they do.
    Micros readsHangAt() const { return readsHangAt_; }

private:
    enum class Mode { Application, BootLoader };
    enum class BootStage { AwaitingBrace, ReceivingRecords, Silent };

    void receiveCommandByte(Micros at, std::uint8_t byte);
    void answerCommand(Micros at);
    void answerVersion(Micros at);
    void sendVersionReply(Micros at);
    void receiveBootByte(Micros at, std::uint8_t byte);
    void recordComplete(Micros at);
    void writeCapture() const;
    void restart(Micros at);
    void send(Micros start, const std::vector<std::uint8_t>& bytes);

    BridgeScenario config_;
    ReceivePath& toHost_;
    UnitNotes notes_;
    std::string version_;
    Mode mode_ = Mode::Application;
    bool held_ = false;        // DTR asserted: in reset
    bool dtrAsserted_ = false; // the line itself, for a meter whose reset does not take
    bool versionChanged_ = false;
    Micros txFreeAt_ = 0;

    Micros startsAt_ = 0; // the new firmware takes no command before
    std::vector<std::uint8_t> command_;
    Micros lastCommandByteAt_ = 0;

    BootStage stage_ = BootStage::AwaitingBrace;
    Micros handshakeAt_ = 0;
    std::vector<std::uint8_t> record_;
    std::vector<std::uint8_t> image_;
    long recordsStored_ = 0;
    Micros readsFailAt_ = kNever;
    Micros readsHangAt_ = kNever;
    bool corrupted_ = false;
    long stopThisTransfer_ = -1;
};

} // namespace sim
