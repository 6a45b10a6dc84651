// The record a station will write, found out before it starts: every meter must be recorded
// before its lane goes on, so no record, no station.
#pragma once

#include "command_result.h"

#include <string>

namespace pxr7 {

struct StationRecord {
    std::string path;      // the record file: the one given (--record), or the default one
    CommandResult refusal; // not ok: the station does not start, and why
};

StationRecord stationRecordFor(const std::string& given);

} // namespace pxr7
