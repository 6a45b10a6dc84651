#include "bridge_survey.h"

#include "bridge_library.h"
#include "version_query.h"

namespace pxr7 {

namespace {

bool selected(const SurveyOptions& options, const BridgeIdentity& identity) {
    if (options.onlyIndex >= 0 && identity.index != options.onlyIndex) {
        return false;
    }
    return options.onlySerial.empty() || identity.serialNumber == options.onlySerial;
}

// A meter lead, opened at the version query's settings: its EEPROM, then its meter.
void lookAtLead(const SurveyOptions& options, DevicePort& port, BridgeReport& report) {
    switch (port.inspectEeprom()) {
    case DevicePort::EepromCheck::NeedsCorrection:
        report.state = BridgeState::NeedsSetup;
        report.changes = eepromChangesNeeded(port.eeprom);
        return;
    case DevicePort::EepromCheck::StringsCut:
    case DevicePort::EepromCheck::ForeignIds:
        report.state = BridgeState::Unusable;
        return;
    default:
        break; // right, or unreadable as some drivers' EEPROM reads are: ask the meter
    }
    if (options.prepareQuery != nullptr) {
        options.prepareQuery(port);
    }
    char version[kVersionTextSize];
    if (queryMeterVersion(port, version, options.reading)) {
        report.state = BridgeState::MeterAnswered;
        report.version = version;
    } else {
        report.state = BridgeState::NoAnswer;
    }
}

} // namespace

bool isLeadReport(const BridgeReport& report) {
    return report.state == BridgeState::MeterAnswered || report.state == BridgeState::NoAnswer ||
           report.state == BridgeState::NeedsSetup;
}

std::vector<BridgeReport> surveyBridges(const SurveyOptions& options) {
    std::vector<BridgeReport> reports;
    if (!bridgeLibraryPresent()) {
        return reports;
    }
    const std::uint32_t bridges = countBridges();
    for (std::uint32_t i = 0; i < bridges; ++i) {
        BridgeReport report;
        report.identity.index = static_cast<int>(i);
        FT_HANDLE probe = nullptr;
        report.status = d2xx().FT_Open(report.identity.index, &probe);
        if (report.status != FT_OK || probe == nullptr) {
            report.state = BridgeState::Busy;
            if (report.status == FT_OK) {
                report.status = FT_INVALID_HANDLE;
            }
        } else {
            const FT_STATUS info = readBridgeIdentity(probe, report.identity);
            d2xx().FT_Close(probe);
            report.state = info == FT_OK && isMeterLead(report.identity)
                               ? BridgeState::NoAnswer
                               : BridgeState::NotAMeterLead;
        }
        if (!selected(options, report.identity)) {
            continue;
        }
        if (report.state == BridgeState::NoAnswer) {
            DevicePort port;
            report.status = port.openAndConfigure(report.identity.index, kVersionQueryBaud,
                                                  FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE);
            if (report.status != FT_OK) {
                report.state = BridgeState::Busy;
            } else {
                lookAtLead(options, port, report);
                report.eepromCheck = port.eepromCheck;
                port.close();
            }
        }
        reports.push_back(std::move(report));
    }
    return reports;
}

} // namespace pxr7
