#include "append_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pxr7 {
namespace appendfile {

Found lookAt(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return Found::Nothing;
    }
    switch (status.st_mode & S_IFMT) {
    case S_IFREG:
        return Found::RegularFile;
    case S_IFLNK:
        return Found::Link;
    default:
        return Found::Other;
    }
}

// O_NOFOLLOW: a link planted at the record's name must not send the shop's proof, or the
// bytes of a line, into another file; O_NONBLOCK: a FIFO nobody reads would wait for ever.
int openForAppend(const std::string& path) {
    int fd = -1;
    do {
        fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW,
                  0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool refusedAsLink(int error) {
    return error == ELOOP;
}

bool regularFileSize(int fd, long long& size) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || (status.st_mode & S_IFMT) != S_IFREG) {
        return false;
    }
    size = static_cast<long long>(status.st_size);
    return true;
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

long long offsetNow(int fd) {
    return static_cast<long long>(lseek(fd, 0, SEEK_CUR));
}

bool truncateTo(int fd, long long size) {
    int result = 0;
    do {
        result = ftruncate(fd, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool flushToDisk(int fd) {
    return fsync(fd) == 0;
}

bool closeFile(int fd) {
    return close(fd) == 0;
}

long readFrom(int fd, long long offset, char* buffer, unsigned size) {
    ssize_t got = 0;
    do {
        got = pread(fd, buffer, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

// flock, not fcntl: its lock belongs to the open file, so two threads of one program exclude
// each other as two programs do.
bool lockWhole(int fd) {
    int result = 0;
    do {
        result = flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool unlockWhole(int fd) {
    return flock(fd, LOCK_UN) == 0;
}

bool makeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0700) == 0;
}

bool isSeparator(char c) {
    return c == '/';
}

} // namespace appendfile
} // namespace pxr7
