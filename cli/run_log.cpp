#include "run_log.h"

#include "exit_codes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pxr7 {

namespace {

#if defined(_WIN32)
int openForAppend(const char* path) {
    return _open(path, _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
}
bool writeAll(int fd, const std::string& text) {
    return _write(fd, text.data(), static_cast<unsigned>(text.size())) ==
           static_cast<int>(text.size());
}
int closeFile(int fd) {
    return _close(fd);
}
#else
// Without blocking: opening a FIFO nobody reads would otherwise wait for a reader for ever.
int openForAppend(const char* path) {
    return open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
}
bool writeAll(int fd, const std::string& text) {
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}
int closeFile(int fd) {
    return close(fd);
}
#endif

bool isRegularFile(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && (status.st_mode & S_IFMT) == S_IFREG;
}

// Appends text to the regular file at path in one write, so that lines stay whole when two
// runs share a log. Anything but a regular file (a FIFO, a terminal, a device) is refused:
// it could hold the program up. On failure, problem says why.
bool appendToRegularFile(const std::string& path, const std::string& text, std::string& problem) {
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) != S_IFREG) {
        problem = "not a regular file";
        return false;
    }
    errno = 0;
    const int fd = openForAppend(path.c_str());
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    // Checked again on what was opened: the name may have changed hands meanwhile.
    bool written = isRegularFile(fd);
    problem = written ? "" : "not a regular file";
    errno = 0;
    if (written && !writeAll(fd, text)) {
        problem = errno != 0 ? std::strerror(errno) : "write failed";
        written = false;
    }
    if (closeFile(fd) != 0 && written) {
        problem = std::strerror(errno);
        written = false;
    }
    return written;
}

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
    std::string problem;
    const bool written = appendToRegularFile(path, line, problem);
    if (!written) {
        std::fprintf(stderr, "pxr7: warning: could not write the log %s: %s\n", path.c_str(),
                     problem.c_str());
    }
    return written;
}

} // namespace pxr7
