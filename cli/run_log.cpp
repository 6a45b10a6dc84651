#include "run_log.h"

#include "exit_codes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pxr7 {

namespace {

std::string logValue(const std::string& text) {
    bool quote = text.empty();
    std::string inner;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            inner.push_back('?');
            continue;
        }
        quote = quote || c == ' ' || c == '"' || c == '=' || c == '\\';
        if (c == '"' || c == '\\') {
            inner.push_back('\\');
        }
        inner.push_back(static_cast<char>(c));
    }
    return quote ? '"' + inner + '"' : inner;
}

} // namespace

std::string formatRunLogLine(const RunLogEntry& entry, std::time_t when) {
    char stamp[32] = "";
    if (const std::tm* utc = std::gmtime(&when)) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", utc);
    }
    return "time=" + logValue(stamp) + " command=" + logValue(entry.command) +
           " serial=" + logValue(entry.serial) + " before=" + logValue(entry.versionBefore) +
           " after=" + logValue(entry.versionAfter) + " outcome=" + logValue(entry.outcome) +
           " exit=" + std::to_string(entry.exitCode);
}

bool appendRunLog(const std::string& path, const RunLogEntry& entry) {
    const std::string line = formatRunLogLine(entry, std::time(nullptr)) + "\n";
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "a");
    bool written = file != nullptr;
    if (written) {
        // One write per line keeps lines whole when two runs share a log.
        written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
        written = std::fclose(file) == 0 && written;
    }
    if (!written) {
        std::fprintf(stderr, "pxr7: warning: could not write the log %s: %s\n", path.c_str(),
                     errno != 0 ? std::strerror(errno) : "write failed");
    }
    return written;
}

} // namespace pxr7
