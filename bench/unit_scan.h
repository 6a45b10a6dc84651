// One line from the operator's id input, as a scanner or a person gives it: "LANE:NAME" is a
// fixture's label (its lead's name in the bench file, or the lead's serial number where the
// file names none), "OP:NAME" an operator's badge, anything else a unit id.
#pragma once

#include "operator_name.h"
#include "unit_ids.h"

#include <string>

namespace pxr7 {

constexpr char kLaneScanPrefix[] = "LANE:";
constexpr char kOperatorScanPrefix[] = "OP:";

enum class ScanKind { Lane, Operator, UnitId };

struct ScanLine {
    ScanKind kind = ScanKind::UnitId;
    std::string text; // after the prefix
};

ScanLine readScanLine(const std::string& line);

// Takes one line: a fixture chosen, the operator changed (who may be null: no badges then) or
// an id bound, waiting or refused.
UnitIdNews takeScanLine(UnitIds& ids, OperatorName* who, const std::string& line,
                        UnitIds::Clock::time_point now);

} // namespace pxr7
