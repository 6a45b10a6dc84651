#include "message_catalogue.h"

#include "message_texts.h"
#include "string_resources.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kMessageStringIds[kMessageCount] = {
#define PXR7_MESSAGE_ID(index, stringId, text) stringId,
    PXR7_MESSAGES(PXR7_MESSAGE_ID)
#undef PXR7_MESSAGE_ID
};

char g_titleBuffer[kTitleBufferSize];
char g_classNameBuffer[kTitleBufferSize];

void presentOnConsole(const char* text, const char* /*caption*/, MessageKind kind) {
    std::FILE* stream = kind == MessageKind::Error ? stderr : stdout;
    std::fprintf(stream, "%s\n", text);
    std::fflush(stream);
}

MessagePresenter g_presenter = presentOnConsole;

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

void loadApplicationTitle() {
    std::snprintf(g_titleBuffer, sizeof g_titleBuffer, "%s", "Tavelin QVRX");
    loadStringResource(PXR7_TITLE_STRING_ID, g_titleBuffer, sizeof g_titleBuffer);
    loadStringResource(PXR7_TITLE_STRING_ID, g_classNameBuffer, sizeof g_classNameBuffer);
}

const char* applicationTitle() {
    return g_titleBuffer;
}

const char* applicationClassName() {
    return g_classNameBuffer;
}

void setMessagePresenter(MessagePresenter presenter) {
    g_presenter = presenter != nullptr ? presenter : presentOnConsole;
}

void showMessage(int index, MessageKind kind) {
    char text[kMessageBufferSize];
    loadMessageText(index, text, sizeof text);
    g_presenter(text, g_titleBuffer, kind);
}
