#include "message_catalogue.h"

#include "message_texts.h"
#include "string_resources.h"

#include <cstdio>

namespace pxr7 {

namespace {

constexpr int kMessageStringIds[kMessageCount] = {
#define PXR7_MESSAGE_ID(index, stringId, text) stringId,
    PXR7_MESSAGES(PXR7_MESSAGE_ID)
#undef PXR7_MESSAGE_ID
};

} // namespace

int messageStringId(int index) {
    if (index < 0 || index >= kMessageCount) {
        return -1;
    }
    return kMessageStringIds[index];
}

void loadMessageText(int index, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    buffer[0] = '\0';
    int stringId = messageStringId(index);
    if (stringId >= 0) {
        loadStringResource(stringId, buffer, size);
    }
}

ApplicationTitle loadApplicationTitle() {
    ApplicationTitle loaded{};
    // The caption keeps a name even if the string table lacks the title.
    std::snprintf(loaded.title, sizeof loaded.title, "%s", "Tavelin QVRX");
    loadStringResource(PXR7_TITLE_STRING_ID, loaded.title, sizeof loaded.title);
    loadStringResource(PXR7_TITLE_STRING_ID, loaded.className, sizeof loaded.className);
    return loaded;
}

} // namespace pxr7
