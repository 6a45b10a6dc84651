// Every user-visible outcome is named by a message index; a fixed table turns the index into
// a string-table identifier, and the text is loaded from the program's own strings. The
// catalogue only finds texts: each front end presents them its own way.
#pragma once

#include <cstddef>

namespace pxr7 {

enum class MessageKind { Error, Information };

// Message indices the code names.
enum MessageIndex : int {
    MSG_HANDSHAKE_NOT_RECEIVED = 2,
    MSG_ABOUT_TITLE = 6,
    MSG_NO_USB_DRIVER = 8,
    MSG_USB_DEVICES_TITLE = 9,
    MSG_USB_PORT_ERROR = 10,
    MSG_INSTALL_DRIVER_FIRST = 11,
    MSG_NO_DEVICES_FOUND = 13,
    MSG_CANNOT_ALLOCATE_MEMORY = 14,
    MSG_CANNOT_LOCATE_DATA = 16,
    MSG_DATA_SIZE_UNKNOWN = 17,
    MSG_CANNOT_ACCESS_DATA = 18,
    MSG_CANNOT_LOCK_DATA = 19,
    MSG_UPGRADE_COMPLETE = 20,
};

constexpr int kMessageCount = 22;
constexpr std::size_t kTitleBufferSize = 100;
constexpr std::size_t kMessageBufferSize = 512;

// The string-table identifier of a message index, or -1 outside 0..21.
int messageStringId(int index);

// Loads message index into buffer, at most size bytes with the terminating zero (longer texts
// are cut). An unknown index or a missing string gives an empty text.
void loadMessageText(int index, char* buffer, std::size_t size);

// The application title (the main window's caption and every message box's) and the window
// class name, both from the title string.
struct ApplicationTitle {
    char title[kTitleBufferSize];
    char className[kTitleBufferSize];
};
ApplicationTitle loadApplicationTitle();

} // namespace pxr7
