// Appending to the record: one write per line on a file opened for appending, so that two
// processes sharing a record never interleave their lines, then fsync so a line is on disk
// before the caller moves on. Nothing but a regular file is written to.
#include "record.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pxr7 {

namespace {

#if defined(_WIN32)
int openForAppend(const char* path) {
    return _open(path, _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
}
bool lastByteIs(int fd, long long size, char wanted) {
    char last = 0;
    return _lseeki64(fd, size - 1, SEEK_SET) == size - 1 && _read(fd, &last, 1) == 1 &&
           last == wanted;
}
long writeOnce(int fd, const std::string& text) {
    return _write(fd, text.data(), static_cast<unsigned>(text.size()));
}
int flushToDisk(int fd) {
    return _commit(fd);
}
int closeFile(int fd) {
    return _close(fd);
}
int makeFolder(const char* path) {
    return _mkdir(path);
}
bool isSeparator(char c) {
    return c == '/' || c == '\\';
}
#else
// Without blocking: opening a FIFO nobody reads would otherwise wait for a reader for ever.
int openForAppend(const char* path) {
    return open(path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
}
bool lastByteIs(int fd, long long size, char wanted) {
    char last = 0;
    return pread(fd, &last, 1, static_cast<off_t>(size - 1)) == 1 && last == wanted;
}
long writeOnce(int fd, const std::string& text) {
    ssize_t written = 0;
    do {
        written = write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    return static_cast<long>(written);
}
int flushToDisk(int fd) {
    return fsync(fd);
}
int closeFile(int fd) {
    return close(fd);
}
int makeFolder(const char* path) {
    return mkdir(path, 0777);
}
bool isSeparator(char c) {
    return c == '/';
}
#endif

bool isRegular(const struct stat& status) {
    return (status.st_mode & S_IFMT) == S_IFREG;
}

// Creates every missing folder on the way to the file at path.
bool makeParents(const std::string& path, std::string& problem) {
    for (std::size_t at = 1; at < path.size(); ++at) {
        if (!isSeparator(path[at]) || isSeparator(path[at - 1]) || path[at - 1] == ':') {
            continue;
        }
        const std::string folder = path.substr(0, at);
        errno = 0;
        if (makeFolder(folder.c_str()) != 0 && errno != EEXIST) {
            problem = "cannot create " + folder + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool writeLine(int fd, const std::string& text, std::string& problem) {
    struct stat status {};
    // Checked on what was opened: the name may have changed hands since it was looked at.
    if (fstat(fd, &status) != 0 || !isRegular(status)) {
        problem = "not a regular file";
        return false;
    }
    // A line torn by a crash or an editor is closed first, so this one stays whole.
    const std::string whole =
        status.st_size > 0 && !lastByteIs(fd, status.st_size, '\n') ? "\n" + text : text;
    errno = 0;
    if (writeOnce(fd, whole) != static_cast<long>(whole.size())) {
        problem = errno != 0 ? std::strerror(errno) : "the line was written only in part";
        return false;
    }
    if (flushToDisk(fd) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

bool appendRecord(const std::string& path, const std::string& line, std::string& problem) {
    problem.clear();
    if (path.empty()) {
        problem = "no record file: name one with --record FILE";
        return false;
    }
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && !isRegular(status)) {
        problem = "not a regular file";
        return false;
    }
    if (!makeParents(path, problem)) {
        return false;
    }
    errno = 0;
    const int fd = openForAppend(path.c_str());
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    const bool written = writeLine(fd, line + "\n", problem);
    if (closeFile(fd) != 0 && written) {
        problem = std::strerror(errno);
        return false;
    }
    return written;
}

} // namespace pxr7
