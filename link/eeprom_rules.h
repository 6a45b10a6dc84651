// The settings a meter lead's bridge EEPROM must hold, as data: one rule per field, applied in
// order. Each rule names its field, says when the value read is wrong and what it becomes.
// Values the rules do not name (2 in PnP, say) are left alone on purpose.
#pragma once

#include "d2xx_types.h"

#include <cstddef>
#include <string>
#include <vector>

namespace pxr7 {

constexpr char kRequiredBridgeDescription[] = "Tavelin QVRX";
// FTDI's size for the description buffer, terminating zero included.
constexpr std::size_t kDescriptionBufferSize = 64;

struct EepromRule {
    const char* field;
    // Whether the record read from the bridge holds a value this rule corrects.
    bool (*isWrong)(const FT_PROGRAM_DATA& record);
    // Writes the required value. The description is written into the buffer the record's
    // Description points to (kDescriptionBufferSize bytes).
    void (*makeRight)(FT_PROGRAM_DATA& record);
    // The field's value as a person reads it.
    std::string (*show)(const FT_PROGRAM_DATA& record);
};

// One setting a lead's EEPROM would have changed, with the values before and after.
struct EepromChange {
    std::string field;
    std::string before;
    std::string after;
};

// PnP, SelfPowered, InvertDTR, InvertRXD, InvertTXD, Cbus4 and Description, in that order.
const EepromRule* eepromRules(std::size_t* count);

// Applies every rule in order; returns whether any fired.
bool applyEepromRules(FT_PROGRAM_DATA& record);

// The changes the rules would make to record, in rule order, without touching it. The record's
// Description must point to a zero-terminated string.
std::vector<EepromChange> eepromChangesNeeded(const FT_PROGRAM_DATA& record);

} // namespace pxr7
