#include "page_assets.h"

namespace pxr7 {

namespace {

bool endsWith(const std::string& text, const char* ending) {
    const std::string tail = ending;
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

const EmbeddedFile* findPageFile(const std::string& name) {
    for (std::size_t i = 0; i < kPageFileCount; ++i) {
        if (name == kPageFiles[i].name) {
            return &kPageFiles[i];
        }
    }
    return nullptr;
}

const char* pageFileType(const std::string& name) {
    static const struct {
        const char* ending;
        const char* type;
    } kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
    };
    for (const auto& type : kTypes) {
        if (endsWith(name, type.ending)) {
            return type.type;
        }
    }
    return "application/octet-stream";
}

} // namespace pxr7
