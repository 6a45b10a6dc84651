#include "bridge_library.h"
#include "commands.h"
#include "text_output.h"

#include <cstdio>

namespace pxr7 {

void printMessage(int index, MessageKind kind, bool json) {
    char text[kMessageBufferSize];
    loadMessageText(index, text, sizeof text);
    if (json) {
        std::printf("{\"event\":\"message\",\"kind\":\"%s\",\"text\":%s}\n",
                    kind == MessageKind::Error ? "error" : "information", jsonString(text).c_str());
        std::fflush(stdout);
        return;
    }
    std::FILE* stream = kind == MessageKind::Error ? stderr : stdout;
    std::fprintf(stream, "%s\n", text);
    std::fflush(stream);
}

bool loadDriver(const Options& options) {
    const bool loaded = options.driverPath.empty()
                            ? loadBridgeLibrary()
                            : loadBridgeLibraryFrom(options.driverPath.c_str());
    if (!loaded) {
        printMessage(MSG_NO_USB_DRIVER, MessageKind::Error, options.json);
        if (!options.driverPath.empty()) {
            std::fprintf(stderr, "pxr7: no usable D2XX library at %s\n",
                         options.driverPath.c_str());
        }
    }
    return loaded;
}

} // namespace pxr7
