#include "eeprom_rules.h"

#include <cstring>

namespace pxr7 {

namespace {

// The rules of one numeric field: wrong when the value read equals (or, for Unless, differs
// from) test; right is the value written.
// clang-format off
#define PXR7_SHOW_NUMBER(name) \
    [](const FT_PROGRAM_DATA& r) { return std::to_string(static_cast<unsigned>(r.name)); }
#define PXR7_RULE_WHEN_EQUALS(name, test, right) \
    EepromRule{#name, [](const FT_PROGRAM_DATA& r) { return r.name == (test); }, \
               [](FT_PROGRAM_DATA& r) { r.name = (right); }, PXR7_SHOW_NUMBER(name)}
#define PXR7_RULE_UNLESS_EQUALS(name, right) \
    EepromRule{#name, [](const FT_PROGRAM_DATA& r) { return r.name != (right); }, \
               [](FT_PROGRAM_DATA& r) { r.name = (right); }, PXR7_SHOW_NUMBER(name)}
// clang-format on

// The library fills the description buffer; it need not end in a zero, so compare within it.
bool descriptionIsWrong(const FT_PROGRAM_DATA& record) {
    return std::strncmp(record.Description, kRequiredBridgeDescription, kDescriptionBufferSize) !=
           0;
}

void writeRequiredDescription(FT_PROGRAM_DATA& record) {
    std::memcpy(record.Description, kRequiredBridgeDescription, sizeof kRequiredBridgeDescription);
}

std::string showDescription(const FT_PROGRAM_DATA& record) {
    return "\"" +
           std::string(record.Description, strnlen(record.Description, kDescriptionBufferSize)) +
           "\"";
}

const EepromRule kRules[] = {
    PXR7_RULE_WHEN_EQUALS(PnP, 1, 0),
    PXR7_RULE_WHEN_EQUALS(SelfPowered, 1, 0),
    PXR7_RULE_WHEN_EQUALS(InvertDTR, 0, 1),
    PXR7_RULE_WHEN_EQUALS(InvertRXD, 1, 0),
    PXR7_RULE_WHEN_EQUALS(InvertTXD, 1, 0),
    PXR7_RULE_UNLESS_EQUALS(Cbus4, FT_232R_CBUS_SLEEP),
    EepromRule{"Description", descriptionIsWrong, writeRequiredDescription, showDescription},
};

#undef PXR7_RULE_WHEN_EQUALS
#undef PXR7_RULE_UNLESS_EQUALS
#undef PXR7_SHOW_NUMBER

} // namespace

const EepromRule* eepromRules(std::size_t* count) {
    *count = sizeof kRules / sizeof kRules[0];
    return kRules;
}

bool applyEepromRules(FT_PROGRAM_DATA& record) {
    bool changed = false;
    for (const EepromRule& rule : kRules) {
        if (rule.isWrong(record)) {
            rule.makeRight(record);
            changed = true;
        }
    }
    return changed;
}

std::vector<EepromChange> eepromChangesNeeded(const FT_PROGRAM_DATA& record) {
    // The rules write through the record's description pointer: work on copies.
    char description[kDescriptionBufferSize] = {};
    std::strncpy(description, record.Description, sizeof description - 1);
    FT_PROGRAM_DATA corrected = record;
    corrected.Description = description;
    std::vector<EepromChange> changes;
    for (const EepromRule& rule : kRules) {
        if (rule.isWrong(corrected)) {
            const std::string before = rule.show(corrected);
            rule.makeRight(corrected);
            changes.push_back({rule.field, before, rule.show(corrected)});
        }
    }
    return changes;
}

} // namespace pxr7
