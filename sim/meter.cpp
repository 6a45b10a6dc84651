#include "meter.h"

#include "key_value_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sim {

namespace {

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kHandshake = '}';
constexpr std::uint8_t kRecordRequest = '!';
constexpr char kVersionCommand[] = "VERSION";
constexpr Micros kCommandProcessing = millis(2);
constexpr Micros kHandshakeProcessing = millis(1);
// A pause this long inside a command frame makes the meter start over.
constexpr Micros kCommandByteGap = millis(50);
constexpr std::size_t kOversizePayload = 100;

bool lineMatches(const LineFormat& line, std::uint32_t baud) {
    return line.baud == baud && line.wordLength == 8 && line.stopBits == 0 && line.parity == 0 &&
           line.flowControl == 0;
}

std::uint8_t frameChecksum(const std::vector<std::uint8_t>& frame) {
    // Complement of the 8-bit sum of the length byte and the payload.
    unsigned sum = 0;
    for (std::size_t i = 1; i + 1 < frame.size(); ++i) {
        sum += frame[i];
    }
    return static_cast<std::uint8_t>(~sum & 0xFF);
}

std::vector<std::uint8_t> buildFrame(const std::string& payload) {
    std::vector<std::uint8_t> frame;
    frame.push_back(kStx);
    frame.push_back(static_cast<std::uint8_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(0);
    frame.back() = frameChecksum(frame);
    return frame;
}

std::string oversizePayload(const std::string& version) {
    std::string text = version + " ";
    for (std::size_t i = 0; text.size() < kOversizePayload; ++i) {
        text += static_cast<char>('0' + i % 10);
    }
    return text.substr(0, kOversizePayload);
}

const char* replyWord(VersionReply reply) {
    switch (reply) {
    case VersionReply::Normal:
        return "normal";
    case VersionReply::Nak:
        return "nak";
    case VersionReply::Silent:
        return "silent";
    case VersionReply::BadChecksum:
        return "bad_checksum";
    case VersionReply::Empty:
        return "empty";
    case VersionReply::Oversize:
        return "oversize";
    case VersionReply::Split:
        return "split";
    }
    return "?";
}

} // namespace

Meter::Meter(const BridgeScenario& config, const std::string& version, ReceivePath& toHost,
             UnitNotes notes)
    : config_(config), toHost_(toHost), notes_(std::move(notes)), version_(version) {}

bool Meter::takeVersionChanged() {
    const bool changed = versionChanged_;
    versionChanged_ = false;
    return changed;
}

void Meter::send(Micros start, const std::vector<std::uint8_t>& bytes) {
    const std::uint32_t baud = mode_ == Mode::BootLoader ? kBootLoaderBaud : kApplicationBaud;
    const Micros begin = std::max(start, txFreeAt_);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        txFreeAt_ = begin + byteEndTime(i, baud);
        toHost_.schedule(txFreeAt_, bytes[i]);
    }
}

void Meter::receive(Micros at, std::uint8_t byte, const LineFormat& line) {
    if (held_) {
        return;
    }
    if (mode_ == Mode::Application) {
        if (lineMatches(line, kApplicationBaud) && at >= startsAt_) {
            receiveCommandByte(at, byte);
        }
    } else if (lineMatches(line, kBootLoaderBaud)) {
        receiveBootByte(at, byte);
    } else if (config_.bootLoaderAnswers && stage_ != BootStage::ReceivingRecords &&
               lineMatches(line, kApplicationBaud)) {
        receiveCommandByte(at, byte);
    }
}

void Meter::receiveCommandByte(Micros at, std::uint8_t byte) {
    if (!command_.empty() && at - lastCommandByteAt_ > kCommandByteGap) {
        command_.clear();
    }
    lastCommandByteAt_ = at;
    if (command_.empty() && byte != kStx) {
        return;
    }
    command_.push_back(byte);
    if (command_.size() >= 2 && command_.size() == static_cast<std::size_t>(command_[1]) + 3) {
        answerCommand(at);
        command_.clear();
    }
}

void Meter::answerCommand(Micros at) {
    const std::string payload(command_.begin() + 2, command_.end() - 1);
    if (frameChecksum(command_) != command_.back() || payload != kVersionCommand) {
        send(at + kCommandProcessing, {kNak});
        return;
    }
    answerVersion(at + kCommandProcessing);
}

// Noted when the reply's last byte has left, so a reply cut off by a take-off or a reset shows
// as noted after that.
void Meter::answerVersion(Micros at) {
    sendVersionReply(at);
    notes_.note(std::max(at, txFreeAt_), "answered version=" + quoteValue(version_) +
                                             " reply=" + replyWord(config_.versionReply));
}

void Meter::sendVersionReply(Micros at) {
    std::vector<std::uint8_t> reply{kAck};
    std::vector<std::uint8_t> frame = buildFrame(version_);
    switch (config_.versionReply) {
    case VersionReply::Normal:
        break;
    case VersionReply::Nak:
        send(at, {kNak});
        return;
    case VersionReply::Silent:
        return;
    case VersionReply::BadChecksum:
        frame.back() = static_cast<std::uint8_t>(frame.back() + 1);
        break;
    case VersionReply::Empty:
        frame = buildFrame(std::string());
        break;
    case VersionReply::Oversize:
        frame = buildFrame(oversizePayload(version_));
        break;
    case VersionReply::Split: {
        // ACK and STX; the length and the first half of the text; the rest and the checksum.
        reply.insert(reply.end(), frame.begin(), frame.end());
        const std::size_t cut = 3 + (reply.size() - 3) / 2;
        const Micros gap = millis(config_.splitGapMs);
        send(at, std::vector<std::uint8_t>(reply.begin(), reply.begin() + 2));
        send(at + gap, std::vector<std::uint8_t>(reply.begin() + 2,
                                                 reply.begin() + static_cast<std::ptrdiff_t>(cut)));
        send(at + 2 * gap, std::vector<std::uint8_t>(
                               reply.begin() + static_cast<std::ptrdiff_t>(cut), reply.end()));
        return;
    }
    }
    reply.insert(reply.end(), frame.begin(), frame.end());
    send(at, reply);
}

void Meter::receiveBootByte(Micros at, std::uint8_t byte) {
    switch (stage_) {
    case BootStage::AwaitingBrace:
        // The boot loader listens only once it has announced itself.
        if (at >= handshakeAt_ && byte == kHandshakeAnswer) {
            stage_ = BootStage::ReceivingRecords;
            send(at + kHandshakeProcessing, {kRecordRequest});
        }
        return;
    case BootStage::ReceivingRecords:
        record_.push_back(byte);
        if (record_.size() == kWireRecordSize) {
            recordComplete(at);
            record_.clear();
        }
        return;
    case BootStage::Silent:
        return;
    }
}

void Meter::recordComplete(Micros at) {
    const long index = recordsStored_;
    if (index == config_.corruptRecord && !corrupted_) {
        // One bit flipped on the wire, once: a retry gets through.
        record_[static_cast<std::size_t>(index) % kRecordSize] ^= 0x01;
        corrupted_ = true;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < kRecordSize; ++i) {
        sum += record_[i];
    }
    if ((sum & 0xFF) != record_[kRecordSize]) {
        stage_ = BootStage::Silent;
        return;
    }
    image_.insert(image_.end(), record_.begin(), record_.begin() + kRecordSize);
    ++recordsStored_;
    notes_.note(at, "stored record=" + std::to_string(index));
    if (index == config_.readsFailFromRecord) {
        readsFailAt_ = at;
    }
    if (index == config_.hangReadFromRecord) {
        readsHangAt_ = at;
    }
    if (recordsStored_ >= config_.expectedRecords) {
        writeCapture();
    }
    if (index == config_.stopAfterRecord || index == stopThisTransfer_) {
        stage_ = BootStage::Silent;
        return;
    }
    send(at + millis(config_.flashDelayMs), {kRecordRequest});
}

void Meter::writeCapture() const {
    if (config_.capturePath.empty()) {
        return;
    }
    std::FILE* file = std::fopen(config_.capturePath.c_str(), "wb");
    if (file == nullptr) {
        return;
    }
    std::fwrite(image_.data(), 1, image_.size(), file);
    std::fclose(file);
}

void Meter::setDtr(Micros at, bool asserted) {
    if (config_.resetIgnored) {
        // The line moves, the meter does not: only a pulse let go is worth a note.
        if (!asserted && dtrAsserted_) {
            notes_.note(at, "pulse_ignored");
        }
        dtrAsserted_ = asserted;
        return;
    }
    if (asserted == held_) {
        return;
    }
    held_ = asserted;
    if (asserted) {
        notes_.note(at, "held");
        // In reset: whatever the meter had still to say is lost.
        toHost_.cancelAfter(at);
        txFreeAt_ = std::min(txFreeAt_, at);
        return;
    }
    notes_.note(at, "pulse");
    restart(at);
}

void Meter::restart(Micros at) {
    stopThisTransfer_ = -1;
    command_.clear();
    record_.clear();
    if (mode_ == Mode::BootLoader && recordsStored_ >= config_.expectedRecords) {
        // A whole image: the new firmware starts.
        mode_ = Mode::Application;
        version_ = config_.versionAfterUpgrade;
        versionChanged_ = true;
        startsAt_ = at + millis(config_.startDelayMs);
        notes_.note(at, "new_firmware version=" + quoteValue(version_));
        return;
    }
    mode_ = Mode::BootLoader;
    stage_ = BootStage::AwaitingBrace;
    image_.clear();
    recordsStored_ = 0;
    if (config_.handshake == Handshake::None) {
        handshakeAt_ = kNever;
        return;
    }
    const int late = config_.handshake == Handshake::Late ? config_.handshakeLateMs : 0;
    handshakeAt_ = at + millis(config_.bootDelayMs + late);
    send(handshakeAt_, {kHandshake});
    // The byte leaves when it is fully on the wire; the loader listens from then on.
    handshakeAt_ = txFreeAt_;
}

} // namespace sim
