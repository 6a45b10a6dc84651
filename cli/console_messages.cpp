#include "bridge_library.h"
#include "commands.h"
#include "message_catalogue.h"
#include "text_output.h"

using namespace pxr7;

#include <cstdio>

namespace {

void presentAsText(const char* text, const char* /*caption*/, MessageKind kind) {
    std::FILE* stream = kind == MessageKind::Error ? stderr : stdout;
    std::fprintf(stream, "%s\n", text);
    std::fflush(stream);
}

void presentAsJson(const char* text, const char* /*caption*/, MessageKind kind) {
    std::printf("{\"event\":\"message\",\"kind\":\"%s\",\"text\":%s}\n",
                kind == MessageKind::Error ? "error" : "information", jsonString(text).c_str());
    std::fflush(stdout);
}

} // namespace

void useConsoleMessages(bool json) {
    loadApplicationTitle();
    setMessagePresenter(json ? presentAsJson : presentAsText);
}

bool loadDriver(const Options& options) {
    const bool loaded = options.driverPath.empty()
                            ? loadBridgeLibrary()
                            : loadBridgeLibraryFrom(options.driverPath.c_str());
    if (!loaded) {
        showMessage(MSG_NO_USB_DRIVER, MessageKind::Error);
        if (!options.driverPath.empty()) {
            std::fprintf(stderr, "pxr7: no usable D2XX library at %s\n",
                         options.driverPath.c_str());
        }
    }
    return loaded;
}
