#include "eeprom_rules.h"

#include <cstring>

namespace pxr7 {

namespace {

// The rules of one numeric field: wrong when the value read equals (or, for Unless, differs
// from) test; right is the value written.
#define PXR7_RULE_WHEN_EQUALS(name, test, right)                                                   \
    EepromRule {                                                                                   \
#name, [](const FT_PROGRAM_DATA& r) { return r.name == (test); },                          \
                                                                       [](FT_PROGRAM_DATA &        \
                                                                          r) { r.name = (right); } \
    }
#define PXR7_RULE_UNLESS_EQUALS(name, right)                                                       \
    EepromRule {                                                                                   \
#name,                                                                                     \
            [](const FT_PROGRAM_DATA& r) { return r.name != (right); },                            \
                                                                     [](FT_PROGRAM_DATA &          \
                                                                        r) { r.name = (right); }   \
    }

// The library fills the description buffer; it need not end in a zero, so compare within it.
bool descriptionIsWrong(const FT_PROGRAM_DATA& record) {
    return std::strncmp(record.Description, kRequiredBridgeDescription, kDescriptionBufferSize) !=
           0;
}

void writeRequiredDescription(FT_PROGRAM_DATA& record) {
    std::memcpy(record.Description, kRequiredBridgeDescription, sizeof kRequiredBridgeDescription);
}

const EepromRule kRules[] = {
    PXR7_RULE_WHEN_EQUALS(PnP, 1, 0),
    PXR7_RULE_WHEN_EQUALS(SelfPowered, 1, 0),
    PXR7_RULE_WHEN_EQUALS(InvertDTR, 0, 1),
    PXR7_RULE_WHEN_EQUALS(InvertRXD, 1, 0),
    PXR7_RULE_WHEN_EQUALS(InvertTXD, 1, 0),
    PXR7_RULE_UNLESS_EQUALS(Cbus4, FT_232R_CBUS_SLEEP),
    EepromRule{"Description", descriptionIsWrong, writeRequiredDescription},
};

#undef PXR7_RULE_WHEN_EQUALS
#undef PXR7_RULE_UNLESS_EQUALS

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

} // namespace pxr7
