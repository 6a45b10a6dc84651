/* The one source of the user-visible texts: message index, string-table identifier and text.
   Plain preprocessor lines only, so the resource script includes it for the string table
   and the portable catalogue compiles the same list. */
#ifndef PXR7_MESSAGE_TEXTS_H
#define PXR7_MESSAGE_TEXTS_H

#define PXR7_TITLE_STRING_ID 243
#define PXR7_TITLE_TEXT "Tavelin Meter - PXR7"

/* X(index, string id, text) */
#define PXR7_MESSAGES(X)                                                                           \
    X(0, 110, "Error - Ack not received")                                                          \
    X(1, 112, "Error: Not enough memory to create ComAccess object!")                              \
    X(2, 124, "Error - Handshake not received")                                                    \
    X(3, 128, "Transfer Complete!")                                                                \
    X(4, 130, "Invalid binary file")                                                               \
    X(5, 142, "Can't load program image")                                                          \
    X(6, 146, "About...")                                                                          \
    X(7, 152, "Cancel")                                                                            \
    X(8, 168, "Warning, can't load USB driver (ftd2xx.dll)")                                       \
    X(9, 214, "USB Devices")                                                                       \
    X(10, 216, "USB Port Error")                                                                   \
    X(11, 218, "You must install the USB driver first!")                                           \
    X(12, 220,                                                                                     \
      "The device has been upgraded and is recycling. You may need to disconnect then reconnect "  \
      "the USB lead.")                                                                             \
    X(13, 222, "No devices found")                                                                 \
    X(14, 236, "Can't allocate memory")                                                            \
    X(15, 138, "File loaded successfully")                                                         \
    X(16, 228, "Can't locate upgrade data")                                                        \
    X(17, 230, "Upgrade data size unknown")                                                        \
    X(18, 234, "Can't access upgrade data")                                                        \
    X(19, 232, "Can't lock upgrade data")                                                          \
    X(20, 238, "Upgrade complete")                                                                 \
    X(21, 148, "Enter filename")

#endif
