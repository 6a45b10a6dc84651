#include "append_file.h"

#include <cerrno>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace pxr7 {
namespace appendfile {

// The C runtime does not tell links apart; what it opens is the file they name.
Found lookAt(const std::string& path) {
    struct _stat64 status {};
    if (_stat64(path.c_str(), &status) != 0) {
        return Found::Nothing;
    }
    return (status.st_mode & _S_IFMT) == _S_IFREG ? Found::RegularFile : Found::Other;
}

int openForAppend(const std::string& path) {
    return _open(path.c_str(), _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

bool refusedAsLink(int /*error*/) {
    return false;
}

bool regularFileSize(int fd, long long& size) {
    struct _stat64 status {};
    if (_fstat64(fd, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        return false;
    }
    size = static_cast<long long>(status.st_size);
    return true;
}

bool lastByteIs(int fd, long long size, char wanted) {
    char last = 0;
    return _lseeki64(fd, size - 1, SEEK_SET) == size - 1 && _read(fd, &last, 1) == 1 &&
           last == wanted;
}

long writeOnce(int fd, const std::string& text) {
    return _write(fd, text.data(), static_cast<unsigned>(text.size()));
}

long long offsetNow(int fd) {
    return _lseeki64(fd, 0, SEEK_CUR);
}

bool truncateTo(int fd, long long size) {
    const errno_t error = _chsize_s(fd, size);
    errno = error;
    return error == 0;
}

bool flushToDisk(int fd) {
    return _commit(fd) == 0;
}

bool closeFile(int fd) {
    return _close(fd) == 0;
}

bool makeFolder(const std::string& path) {
    return _mkdir(path.c_str()) == 0;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

} // namespace appendfile
} // namespace pxr7
