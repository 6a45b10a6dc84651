// The operating system's side of appending to the record (record_file.cpp): a few calls on a
// file descriptor, one file per system (append_file_posix.cpp, append_file_win32.cpp). Each
// returns what the system said; -1 or false leave the system's reason in errno.
#pragma once

#include <string>

namespace pxr7 {
namespace appendfile {

enum class Found { Nothing, RegularFile, Link, Other };

// What is at path now, without following a link at its end. Nothing also when it cannot be
// looked at: opening it then says why.
Found lookAt(const std::string& path);

// Opens path for appending and reading back its last byte, creating it 0600 if missing:
// never through a link at its end, and without waiting for a FIFO's reader.
int openForAppend(const std::string& path);
// Whether a failed open's errno means that path ends in a link.
bool refusedAsLink(int error);

// Whether fd is a regular file; its size in bytes if so.
bool regularFileSize(int fd, long long& size);
bool lastByteIs(int fd, long long size, char wanted);
// One write of all of text at the end of the file: the bytes written, or -1.
long writeOnce(int fd, const std::string& text);
// Where the file offset stands: after an append, the end of what it wrote.
long long offsetNow(int fd);
bool truncateTo(int fd, long long size);
bool flushToDisk(int fd);
bool closeFile(int fd);

// Up to size bytes from offset into buffer: the bytes read, or -1.
long readFrom(int fd, long long offset, char* buffer, unsigned size);
// Waits for, and then holds, an exclusive lock on the whole file against every other open of
// it, in this process too; unlockWhole lets it go (so does closing the file).
bool lockWhole(int fd);
bool unlockWhole(int fd);

// Makes one folder, 0700 where modes exist; false with errno EEXIST if it is there.
bool makeFolder(const std::string& path);
bool isSeparator(char c);

} // namespace appendfile
} // namespace pxr7
