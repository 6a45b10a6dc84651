#include "lead_command.h"

#include "printable.h"

#include <cstring>

namespace pxr7 {

namespace {

bool bareShellCharacter(char c) {
    const bool alphanumeric =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return alphanumeric || (c != '\0' && std::strchr("._-+:@%/=", c) != nullptr);
}

} // namespace

std::string shellWord(const std::string& text) {
    bool bare = !text.empty();
    for (const char c : text) {
        bare = bare && bareShellCharacter(c);
    }
    if (bare) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string leadSelector(const BridgeIdentity& lead) {
    // A serial number garbled on its way out of the EEPROM is not one the person can type.
    if (serialTellsApart(lead) && printable(lead.serialNumber) == lead.serialNumber) {
        return "--serial " + shellWord(lead.serialNumber);
    }
    return "--index " + std::to_string(lead.index);
}

std::string commandForLead(const char* command, const BridgeIdentity& lead) {
    return std::string("pxr7 ") + command + " " + leadSelector(lead);
}

} // namespace pxr7
