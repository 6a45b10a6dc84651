#include "append_file.h"

#include <cerrno>

#include <windows.h>

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

long readFrom(int fd, long long offset, char* buffer, unsigned size) {
    if (_lseeki64(fd, offset, SEEK_SET) != offset) {
        return -1;
    }
    return _read(fd, buffer, size);
}

// A lock on every byte the file may ever have, held by this open of it.
bool lockWhole(int fd) {
    OVERLAPPED from{};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE ||
        !LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &from)) {
        errno = EIO;
        return false;
    }
    return true;
}

bool unlockWhole(int fd) {
    OVERLAPPED from{};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return handle != INVALID_HANDLE_VALUE && UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &from);
}

bool makeFolder(const std::string& path) {
    return _mkdir(path.c_str()) == 0;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

} // namespace appendfile
} // namespace pxr7
