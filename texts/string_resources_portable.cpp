#include "string_resources.h"

#include "message_texts.h"

#include <cstring>

namespace pxr7 {

namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStringTable[] = {
#define PXR7_STRING_ENTRY(index, stringId, text) {stringId, text},
    PXR7_MESSAGES(PXR7_STRING_ENTRY)
#undef PXR7_STRING_ENTRY
        {PXR7_TITLE_STRING_ID, PXR7_TITLE_TEXT},
};

} // namespace

int loadStringResource(int stringId, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    for (const StringEntry& entry : kStringTable) {
        if (entry.id == stringId) {
            std::size_t length = std::strlen(entry.text);
            if (length > size - 1) {
                length = size - 1;
            }
            std::memcpy(buffer, entry.text, length);
            buffer[length] = '\0';
            return static_cast<int>(length);
        }
    }
    return 0;
}

} // namespace pxr7
