#include "messages.h"

#include "bridge_texts.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "printable.h"
#include "terminal.h"

#include <cstdio>

namespace pxr7 {

void printMessage(int index, MessageKind kind) {
    char text[kMessageBufferSize];
    loadMessageText(index, text, sizeof text);
    const bool error = kind == MessageKind::Error;
    if (terminal().settings().json) {
        JsonObject()
            .add("event", "message")
            .add("kind", error ? "error" : "information")
            .add("text", text)
            .print();
        return;
    }
    terminal().line(error ? LineKind::Error : LineKind::Info, text);
}

void printDiagnosis(const std::string& line) {
    if (!line.empty()) {
        terminal().line(LineKind::Error, line);
    }
}

void printFailure(const CommandResult& result) {
    printDiagnosis(result.diagnosis);
    if (result.outcome == Outcome::Usage) {
        terminal().line(LineKind::Error, "Try 'pxr7 --help'.");
    } else {
        printAdvice(result.outcome);
    }
}

void printAdvice(Outcome outcome) {
    // The same advice the station and the guide give for this outcome.
    if (outcome != Outcome::Ok && outcome != Outcome::Usage && outcome != Outcome::Cancelled) {
        const std::string advice = adviceFor(outcome);
        const bool ended = !advice.empty() && (advice.back() == '?' || advice.back() == '.');
        terminal().line(LineKind::Error, "What to do: " + advice + (ended ? "" : "."));
    }
}

void printBridgeTable(const std::vector<BridgeReport>& reports) {
    char line[512];
    std::snprintf(line, sizeof line, "%-5s  %-16s  %-20s  %s", "Index", "Serial", "Description",
                  "State");
    terminal().line(LineKind::Result, line);
    for (const BridgeReport& report : reports) {
        const std::string serial =
            report.identity.serialNumber.empty() ? "-" : printable(report.identity.serialNumber);
        const std::string description =
            report.identity.description.empty() ? "-" : printable(report.identity.description);
        std::snprintf(line, sizeof line, "%-5d  %-16s  %-20s  %s", report.identity.index,
                      serial.c_str(), description.c_str(), stateText(report).c_str());
        terminal().line(LineKind::Result, line);
    }
}

void describeBridges(const std::vector<BridgeReport>& reports) {
    if (!terminal().settings().verbose) {
        return;
    }
    for (const BridgeReport& report : reports) {
        // A bridge that could not be opened has no serial number or description to show.
        std::string known;
        for (const std::string& part :
             {report.identity.serialNumber, report.identity.description}) {
            if (!part.empty()) {
                known += (known.empty() ? "" : ", ") + printable(part);
            }
        }
        terminal().line(LineKind::Detail, "pxr7: bridge " + std::to_string(report.identity.index) +
                                              (known.empty() ? "" : " (" + known + ")") + ": " +
                                              stateText(report));
    }
}

std::vector<JsonObject> changesJson(const std::vector<EepromChange>& changes) {
    std::vector<JsonObject> items;
    for (const EepromChange& change : changes) {
        items.emplace_back();
        items.back()
            .add("field", change.field)
            .add("before", change.before)
            .add("after", change.after);
    }
    return items;
}

JsonObject bridgeJson(const BridgeReport& report) {
    JsonObject bridge;
    bridge.add("index", report.identity.index)
        .add("serial", report.identity.serialNumber)
        .add("description", report.identity.description)
        .add("state", stateCode(report.state))
        .add("version",
             report.state == BridgeState::MeterAnswered ? report.version.c_str() : nullptr)
        .add("changes", changesJson(report.changes))
        .add("status", static_cast<long long>(report.status));
    return bridge;
}

} // namespace pxr7
