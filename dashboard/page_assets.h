// The dashboard's page set (HTML, CSS, JavaScript), built into the program from dashboard/page.
#pragma once

#include <cstddef>
#include <string>

namespace pxr7 {

struct EmbeddedFile {
    const char* name; // e.g. "live.html"
    const char* bytes;
    std::size_t size;
};

extern const EmbeddedFile kPageFiles[];
extern const std::size_t kPageFileCount;

// The file by name, nullptr when the page set has none.
const EmbeddedFile* findPageFile(const std::string& name);
// The Content-Type for a file by its extension ("text/html; charset=utf-8", ...).
const char* pageFileType(const std::string& name);

} // namespace pxr7
