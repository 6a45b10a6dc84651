// Appending to the record: one write per line on a file opened for appending, so that two
// processes sharing a record never interleave their lines, then fsync so a line is on disk
// before the caller moves on. The record is the shop's proof of which meter got which
// firmware: it is written only as a regular file under its own name, it holds whole lines
// only, and whatever keeps a line out is said, never passed over.
#include "record.h"

#include "append_file.h"
#include "record_open.h"

#include <cerrno>
#include <cstring>

namespace pxr7 {

namespace {

using namespace appendfile;

constexpr char kLinkRefused[] = "it is a symbolic link: name the file itself, not a link to it";
constexpr char kNotRegular[] = "not a regular file";

std::string systemReason(int error) {
    switch (error) {
    case ENOSPC:
        return "the disk is full";
    case EFBIG:
        return "the file has reached the file-size limit";
    default:
        return std::strerror(error);
    }
}

// Creates every missing folder on the way to the file at path, private to the user: the
// record and the log are nobody else's to add to.
bool makeParents(const std::string& path, std::string& problem) {
    for (std::size_t at = 1; at < path.size(); ++at) {
        if (!isSeparator(path[at]) || isSeparator(path[at - 1]) || path[at - 1] == ':') {
            continue;
        }
        const std::string folder = path.substr(0, at);
        errno = 0;
        if (!makeFolder(folder) && errno != EEXIST) {
            problem = "cannot create " + folder + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

} // namespace

int openRecordFile(const std::string& path, MissingFolders folders, long long& size,
                   std::string& problem) {
    if (path.empty()) {
        problem = "no record file: name one with --record FILE";
        return -1;
    }
    // Looked at before it is opened: opening a device or a FIFO can already do harm.
    const Found found = lookAt(path);
    if (found == Found::Link || found == Found::Other) {
        problem = found == Found::Link ? kLinkRefused : kNotRegular;
        return -1;
    }
    if (folders == MissingFolders::Make && !makeParents(path, problem)) {
        return -1;
    }
    errno = 0;
    const int fd = openForAppend(path);
    if (fd < 0) {
        problem = refusedAsLink(errno) ? kLinkRefused : systemReason(errno);
        return -1;
    }
    // Checked on what was opened: the name may have changed hands since it was looked at.
    if (!regularFileSize(fd, size)) {
        closeFile(fd);
        problem = kNotRegular;
        return -1;
    }
    return fd;
}

namespace {

// The bytes of a short write are the start of a line that will never be finished: cut off,
// so the file ends where it did and the next line does not run into them.
void takeBack(int fd, long written, std::string& problem) {
    const long long end = offsetNow(fd);
    if (end >= written && truncateTo(fd, end - written)) {
        flushToDisk(fd);
        problem += ", and were cut off again";
        return;
    }
    problem += ", and could not be cut off again: " + std::string(std::strerror(errno));
}

bool writeLine(int fd, long long size, const std::string& text, std::string& problem) {
    // A line torn by a crash or an editor is closed first, so this one stays whole.
    const std::string whole = size > 0 && !lastByteIs(fd, size, '\n') ? "\n" + text : text;
    errno = 0;
    const long written = writeOnce(fd, whole);
    if (written < 0) {
        problem = systemReason(errno);
        return false;
    }
    if (static_cast<std::size_t>(written) < whole.size()) {
        problem = "the disk is full or the file has reached the file-size limit: only " +
                  std::to_string(written) + " of " + std::to_string(whole.size()) +
                  " bytes went in";
        takeBack(fd, written, problem);
        return false;
    }
    if (!flushToDisk(fd)) {
        problem = "the line may not be on disk: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

bool appendLine(const std::string& path, const std::string& line, MissingFolders folders,
                std::string& problem) {
    problem.clear();
    long long size = 0;
    const int fd = openRecordFile(path, folders, size, problem);
    if (fd < 0) {
        return false;
    }
    const bool written = writeLine(fd, size, line + "\n", problem);
    if (!closeFile(fd) && written) {
        problem = "the line may not be on disk: " + std::string(std::strerror(errno));
        return false;
    }
    return written;
}

bool appendRecord(const std::string& path, const std::string& line, std::string& problem) {
    return appendLine(path, line, MissingFolders::Make, problem);
}

bool checkRecordWritable(const std::string& path, std::string& problem) {
    problem.clear();
    long long size = 0;
    const int fd = openRecordFile(path, MissingFolders::Make, size, problem);
    if (fd < 0) {
        return false;
    }
    if (!closeFile(fd)) {
        problem = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace pxr7
