// Stand-in until the record lands.
#include "record.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace pxr7 {

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string defaultRecordPath() {
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/state/pxr7/record.jsonl";
}

std::string recordLine(const RecordEntry& entry) {
    return "{\"schema\":1,\"command\":\"" + entry.command + "\",\"lead_serial\":\"" +
           entry.leadSerial + "\",\"result\":\"" + entry.result +
           "\",\"attempts\":" + std::to_string(entry.attempts) +
           ",\"records_sent\":" + std::to_string(entry.recordsSent) + ",\"version_before\":\"" +
           entry.versionBefore + "\",\"version_after\":\"" + entry.versionAfter + "\"}";
}

bool appendRecord(const std::string& path, const std::string& line, std::string& problem) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) {
        problem = "cannot open";
        return false;
    }
    const std::string text = line + "\n";
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    fsync(fd);
    close(fd);
    return ok;
}

} // namespace pxr7
