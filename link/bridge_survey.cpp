#include "bridge_survey.h"

#include "bridge_library.h"
#include "same_bridge.h"
#include "version_query.h"

namespace pxr7 {

namespace {

bool selected(const SurveyOptions& options, const BridgeIdentity& identity) {
    if (options.onlyIndex >= 0 && identity.index != options.onlyIndex) {
        return false;
    }
    return options.onlySerial.empty() || identity.serialNumber == options.onlySerial;
}

// Asks the meter behind an open lead; a lead whose EEPROM was unreadable stays so.
void askMeter(const SurveyOptions& options, DevicePort& port, BridgeReport& report) {
    if (options.prepareQuery != nullptr) {
        options.prepareQuery(port);
    }
    char version[kVersionTextSize];
    VersionReply reply = VersionReply::Nothing;
    const bool answered = queryMeterVersion(port, version, options.reading, &reply);
    if (answered) {
        report.version = version;
    }
    report.replyNotAVersion = reply == VersionReply::NotAVersion;
    if (report.state != BridgeState::EepromUnreadable) {
        report.state = answered ? BridgeState::MeterAnswered : BridgeState::NoAnswer;
    }
}

// Whether the meter behind a lead opened only to look may be asked: its line is set up only
// for a lead whose EEPROM is right, or, where it could not be read, that carries the lead's
// strings. A factory-fresh bridge may be somebody's adapter in use: it keeps its driver and
// its line settings.
bool mayAsk(DevicePort& port, BridgeReport& report) {
    switch (port.inspectEeprom()) {
    case DevicePort::EepromCheck::NeedsCorrection:
        report.state = BridgeState::NeedsSetup;
        report.changes = eepromChangesNeeded(port.eeprom);
        return false;
    case DevicePort::EepromCheck::StringsCut:
    case DevicePort::EepromCheck::ForeignIds:
        report.state = BridgeState::Unusable;
        return false;
    case DevicePort::EepromCheck::ReadFailed:
        // Some drivers cannot read it: the meter may still answer, but its settings are unknown.
        report.state = BridgeState::EepromUnreadable;
        return !sameDescription(report.identity.description, kFactoryBridgeDescription);
    default:
        return true;
    }
}

// A meter lead, opened only to look: its EEPROM, then, set up for the version query, its meter.
void lookAtLead(const SurveyOptions& options, DevicePort& port, BridgeReport& report) {
    if (!mayAsk(port, report)) {
        return;
    }
    if (port.configure(kVersionQueryBaud, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) != FT_OK) {
        report.state = BridgeState::Busy;
        report.status = port.lastStatus;
        return;
    }
    askMeter(options, port, report);
}

// Who the bridge at report.identity.index is, from a probe open; its state so far.
void probe(BridgeReport& report) {
    FT_HANDLE handle = nullptr;
    report.status = d2xx().FT_Open(report.identity.index, &handle);
    if (report.status != FT_OK || handle == nullptr) {
        report.state = report.status == FT_DEVICE_NOT_FOUND ? BridgeState::Gone : BridgeState::Busy;
        if (report.status == FT_OK) {
            report.status = FT_INVALID_HANDLE;
        }
        return;
    }
    const FT_STATUS info = readBridgeIdentity(handle, report.identity);
    d2xx().FT_Close(handle);
    report.state = info == FT_OK && isMeterLead(report.identity) ? BridgeState::NoAnswer
                                                                 : BridgeState::NotAMeterLead;
}

void markShared(BridgeIdentity& identity) {
    if (!identity.serialShared) {
        identity.serialShared = true;
        identity.location = readBridgeLocation(identity.index);
    }
}

// Where a lead's serial number does not tell it from the leads before it, those of them still
// reported and this one are marked and located. Only then is the location read at all.
void noteSerial(std::vector<BridgeIdentity>& leads, std::vector<BridgeReport>& reports,
                BridgeIdentity& identity) {
    bool shared = identity.serialNumber.empty();
    for (const BridgeIdentity& earlier : leads) {
        shared = shared || earlier.serialNumber == identity.serialNumber;
    }
    if (shared) {
        for (BridgeReport& earlier : reports) {
            if (isLeadReport(earlier) && earlier.identity.serialNumber == identity.serialNumber) {
                markShared(earlier.identity);
            }
        }
        markShared(identity);
    }
    leads.push_back(identity);
}

// Opens a lead seen by the probe, checks it is still that bridge, and looks at it.
void openAndLook(const SurveyOptions& options, BridgeReport& report) {
    DevicePort port;
    switch (openSameBridge(port, report.identity, kLookOnly)) {
    case OpenCheck::Opened:
        lookAtLead(options, port, report);
        report.eepromCheck = port.eepromCheck;
        port.close();
        return;
    case OpenCheck::Busy:
        report.state = BridgeState::Busy;
        break;
    case OpenCheck::Gone:
    case OpenCheck::NotTheSame:
        report.state = BridgeState::Gone;
        break;
    }
    report.status = port.lastStatus;
}

} // namespace

bool isLeadReport(const BridgeReport& report) {
    return report.state == BridgeState::MeterAnswered || report.state == BridgeState::NoAnswer ||
           report.state == BridgeState::NeedsSetup || report.state == BridgeState::EepromUnreadable;
}

std::vector<BridgeReport> surveyBridges(const SurveyOptions& options) {
    std::vector<BridgeReport> reports;
    if (!bridgeLibraryPresent()) {
        return reports;
    }
    std::vector<BridgeIdentity> leads;
    const std::uint32_t bridges = countBridges();
    for (std::uint32_t i = 0; i < bridges; ++i) {
        BridgeReport report;
        report.identity.index = static_cast<int>(i);
        probe(report);
        const bool lead = report.state == BridgeState::NoAnswer;
        if (lead) {
            noteSerial(leads, reports, report.identity);
        }
        if (!selected(options, report.identity)) {
            continue;
        }
        if (lead) {
            openAndLook(options, report);
        }
        reports.push_back(std::move(report));
    }
    return reports;
}

} // namespace pxr7
