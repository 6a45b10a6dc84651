#include "lane_words.h"

#include "bridge_texts.h"
#include "exit_codes.h"
#include "firmware_image.h"
#include "lead_command.h"
#include "printable.h"
#include "utf8.h"

namespace pxr7 {

namespace {

BridgeIdentity identityOf(const LaneTag& lane) {
    BridgeIdentity identity;
    identity.serialNumber = lane.serial;
    identity.index = lane.index;
    identity.serialShared = lane.serialShared;
    return identity;
}

std::string sentence(const char* advice) {
    std::string text = advice;
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    return text.empty() || text.back() == '?' || text.back() == '.' ? text : text + ".";
}

// The versions a failed verification is about, where the text names them.
std::string versionsOf(const MeterRun& meter) {
    if (meter.code() != Outcome::VerifyFailed || meter.versionAfter.empty()) {
        return "";
    }
    return " (" + printable(meter.versionAfter) + " after the upgrade, " +
           printable(embeddedImageVersion()) + " in the image; " + printable(meter.versionBefore) +
           " before)";
}

} // namespace

const char* const kOutOfServiceNext =
    "It takes no meter until it is back: take the meter off, check the fixture, then press "
    "Ctrl+R at the station to put it back in service.";

std::string diagnosisWords(const std::string& line) {
    const std::string name = "pxr7: ";
    return line.compare(0, name.size(), name) == 0 ? line.substr(name.size()) : line;
}

const char* laneStateCode(LaneState state) {
    switch (state) {
    case LaneState::Waiting:
        return "waiting";
    case LaneState::NeedsSetup:
        return "needs_setup";
    case LaneState::SettingUp:
        return "setting_up";
    case LaneState::LeftAlone:
        return "left_alone";
    case LaneState::SetupFailed:
        return "setup_failed";
    case LaneState::CannotOpen:
        return "cannot_open";
    case LaneState::RemoveMeter:
        return "remove_meter";
    case LaneState::CannotTellApart:
        return "cannot_tell_apart";
    case LaneState::RecordFailing:
        return "record_failing";
    case LaneState::NeedsUnitId:
        return "needs_unit_id";
    case LaneState::OutOfService:
        return "out_of_service";
    case LaneState::MeterNotAVersion:
        return "meter_not_a_version";
    }
    return "";
}

namespace {

// The states of the lead itself: its setup, and whether it can be opened and told apart.
// False for the others.
bool leadStateRow(const LaneTag& lane, LaneState state, const std::string& reason, LaneRow& row) {
    switch (state) {
    case LaneState::NeedsSetup:
        row.state = "needs setup";
        // No reason: a factory-fresh bridge, which may be somebody's adapter.
        row.next = reason.empty() ? std::string(kFactoryFreshText) + ". If it is a meter lead, run "
                                  : reason + ": run ";
        row.next +=
            commandForLead("setup", identityOf(lane)) + ", or start the station with --setup.";
        return true;
    case LaneState::SettingUp:
        row.state = "setting up the lead";
        row.next = "leave it plugged in";
        row.tone = LaneTone::Working;
        return true;
    case LaneState::LeftAlone:
        row.state = "left alone: not a meter lead";
        row.next = "its EEPROM is not a meter lead's: use another lead";
        return true;
    case LaneState::SetupFailed:
        row.state = "setup failed";
        row.next = diagnosisWords(reason) + " " + sentence(adviceFor(Outcome::LeadSetupFailed));
        return true;
    case LaneState::CannotOpen:
        row.state = "cannot open the lead";
        row.next = diagnosisWords(reason);
        return true;
    case LaneState::CannotTellApart:
        row.state = "not served: its serial number is another lead's too";
        row.next = "the driver cannot tell these leads apart: connect one at a time";
        return true;
    default:
        return false;
    }
}

// What the lane says in a state, what to do about it, and how it reads at a glance.
LaneRow fullStateRow(const LaneTag& lane, LaneState state, const std::string& reason) {
    LaneRow row;
    row.tone = LaneTone::Attention;
    if (leadStateRow(lane, state, reason, row)) {
        return row;
    }
    switch (state) {
    case LaneState::Waiting:
        row.state = "waiting for a meter";
        row.tone = LaneTone::Quiet;
        break;
    case LaneState::RemoveMeter:
        row.next = "take the meter off";
        row.tone = LaneTone::Good;
        break;
    case LaneState::RecordFailing:
        row.state = "no new meter: the record cannot be written";
        row.next = sentence(adviceFor(Outcome::RecordFailed));
        break;
    case LaneState::NeedsUnitId:
        row.state = "scan or type the unit id";
        row.next = "the meter is upgraded once it has its unit id";
        break;
    case LaneState::MeterNotAVersion:
        row.state = "a meter replies, but not with its version";
        row.next = "it sends a NAK or garbled bytes: is it a PXR7 meter running its firmware, "
                   "seated well in the fixture? The station serves it once it answers with its "
                   "version.";
        break;
    case LaneState::OutOfService:
        row.state = "lane out of service: check the fixture";
        row.next = sentence(reason.c_str()) + " " + kOutOfServiceNext;
        row.tone = LaneTone::Bad;
        break;
    default:
        break;
    }
    return row;
}

// The step in a few words, for a screen too low for the whole of it.
std::string briefStep(const LaneTag& lane, LaneState state, const std::string& reason) {
    switch (state) {
    case LaneState::NeedsSetup:
        return "run " + commandForLead("setup", identityOf(lane));
    case LaneState::SetupFailed:
        return "run pxr7 setup again, or use another lead";
    case LaneState::LeftAlone:
        return "use another lead";
    case LaneState::CannotOpen:
        return reason.find("another program") != std::string::npos
                   ? "close the program that holds it"
               : reason.find("ftdi_sio") != std::string::npos
                   ? "use --backend libftdi, or unbind ftdi_sio"
                   : "check access: \"Access to the lead\"";
    case LaneState::CannotTellApart:
        return "connect one at a time";
    case LaneState::RecordFailing:
        return "free the disk or fix the record";
    case LaneState::OutOfService:
        return "check the fixture, then press Ctrl+R";
    case LaneState::MeterNotAVersion:
        return "is it a PXR7 running its firmware?";
    default:
        return "";
    }
}

} // namespace

LaneRow laneStateRow(const LaneTag& lane, LaneState state, const std::string& reason) {
    LaneRow row = fullStateRow(lane, state, reason);
    row.brief = briefStep(lane, state, reason);
    return row;
}

LaneRow laneOutcomeRow(const MeterRun& meter) {
    LaneRow row;
    switch (meter.outcome()) {
    case MeterOutcome::Ok:
    case MeterOutcome::Current:
        row.state = std::string(resultWord(meter)) + ": " + printable(meter.versionAfter);
        row.tone = LaneTone::Good;
        return row;
    case MeterOutcome::Failed:
        row.state = meter.attempts > 1
                        ? "failed after " + std::to_string(meter.attempts) + " attempts"
                        : "failed";
        row.next = std::string(wordsFor(meter.code())) + versionsOf(meter) + ". " +
                   sentence(laneAdviceFor(meter.code()));
        row.brief = meter.code() == Outcome::TransferStopped ? "upgrade it with pxr7 upgrade"
                                                             : "take it off and on to try again";
        break;
    case MeterOutcome::Stopped:
        row.state = std::string("stopped: ") + wordsFor(meter.code());
        row.next = sentence(adviceFor(meter.code()));
        break;
    }
    row.tone = LaneTone::Bad;
    return row;
}

std::string laneAttemptText(Phase phase, int attempt) {
    std::string text = phaseLabel(phase);
    return attempt > 1 ? text + " (attempt " + std::to_string(attempt) + ")" : text;
}

// The name on the fixture, else the serial number, else where the bridge is.
std::string laneLabel(const LaneTag& lane, bool takesUtf8) {
    if (!lane.name.empty()) {
        return printableName(lane.name, takesUtf8);
    }
    return lane.serial.empty() ? "bridge " + std::to_string(lane.index) : printable(lane.serial);
}

const char* laneToneWord(LaneTone tone) {
    switch (tone) {
    case LaneTone::Quiet:
        return "quiet";
    case LaneTone::Working:
        return "working";
    case LaneTone::Good:
        return "good";
    case LaneTone::Bad:
        return "bad";
    case LaneTone::Attention:
        return "attention";
    }
    return "";
}

} // namespace pxr7
