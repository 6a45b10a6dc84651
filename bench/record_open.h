// Opening a file the way the record is appended to (record_file.cpp), for the files that go
// with it: only a regular file under its own name, never through a link or into a FIFO.
#pragma once

#include "record.h"

#include <string>

namespace pxr7 {

// The file at path opened for appending and reading, made 0600 if missing (and its folders
// 0700 if folders says so), and its size; -1 with the reason in problem.
int openRecordFile(const std::string& path, MissingFolders folders, long long& size,
                   std::string& problem);

} // namespace pxr7
