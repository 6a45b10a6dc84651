// The command line's messages, all through the one terminal writer: catalogue texts as the
// Windows program words them, diagnosis lines, and the bridge table.
#pragma once

#include "bridge_survey.h"
#include "command_result.h"
#include "json_writer.h"
#include "lane_words.h"
#include "message_catalogue.h"

#include <string>
#include <vector>

namespace pxr7 {

// A catalogue message: an error line on stderr or an information line, or a JSON event.
void printMessage(int index, MessageKind kind);

// The diagnosis line on stderr (nothing for an empty line).
void printDiagnosis(const std::string& line);

// A refusal or failure: its diagnosis, and the hint to the help for a usage error or the
// exit-code table's advice for any other.
void printFailure(const CommandResult& result);
// "What to do: " and the table's advice, for a failure other than a usage error or a cancel.
void printAdvice(Outcome outcome);

// One line per bridge: index, serial number, description, state.
void printBridgeTable(const std::vector<BridgeReport>& reports);
// With --verbose: what the survey found on each bridge, one line each.
void describeBridges(const std::vector<BridgeReport>& reports);
// A bridge as a JSON object, for the list and for events.
JsonObject bridgeJson(const BridgeReport& report);
// A lead's EEPROM changes, one JSON object each.
std::vector<JsonObject> changesJson(const std::vector<EepromChange>& changes);

} // namespace pxr7
