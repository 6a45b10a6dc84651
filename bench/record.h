// Stand-in until the record lands: the fixed interface only.
#pragma once

#include <cstdint>
#include <string>

namespace pxr7 {

struct RecordEntry {
    std::string command;
    std::string started;
    std::string finished;
    std::string leadSerial;
    int leadIndex = -1;
    std::string leadLocation;
    std::string result;
    std::string versionBefore;
    std::string versionAfter;
    int attempts = 1;
    std::int32_t recordsSent = 0, recordsTotal = 0;
    double seconds = 0;
};

std::string utcNow();
std::string defaultRecordPath();
std::string recordLine(const RecordEntry& entry);
bool appendRecord(const std::string& path, const std::string& line, std::string& problem);

} // namespace pxr7
