#include "bridge_library.h"
#include "bridge_trace.h"
#include "commands.h"
#include "diagnosis.h"
#include "json_writer.h"
#include "text_output.h"

#if defined(PXR7_HAVE_LIBFTDI)
#include "ftdi_backend.h"
#endif

#include <cstdio>

namespace pxr7 {

void printMessage(int index, MessageKind kind, bool json) {
    char text[kMessageBufferSize];
    loadMessageText(index, text, sizeof text);
    if (json) {
        JsonObject()
            .add("event", "message")
            .add("kind", kind == MessageKind::Error ? "error" : "information")
            .add("text", text)
            .print();
        return;
    }
    std::FILE* stream = kind == MessageKind::Error ? stderr : stdout;
    std::fprintf(stream, "%s\n", text);
    std::fflush(stream);
}

void printDiagnosis(const std::string& line) {
    if (!line.empty()) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

namespace {

void traceToStderr(const char* line) {
    std::fprintf(stderr, "pxr7: %s\n", line);
}

bool loadD2xx(const Options& options, std::string& problem) {
    return options.driverPath.empty() ? loadBridgeLibrary(&problem)
                                      : loadBridgeLibraryFrom(options.driverPath.c_str(), &problem);
}

bool loadLibftdi(std::string& problem) {
#if defined(PXR7_HAVE_LIBFTDI)
    if (loadLibftdiBackend()) {
        return true;
    }
    problem = libftdiLastError();
    return false;
#else
    problem = "this build has no libftdi1 backend";
    return false;
#endif
}

} // namespace

bool loadBackend(const Options& options, std::string& problem) {
    if (options.backend == "libftdi") {
        return loadLibftdi(problem);
    }
    if (loadD2xx(options, problem)) {
        return true;
    }
    // With no choice made and no D2XX library, the open-source stack serves.
    std::string libftdiProblem;
    return options.backend.empty() && options.driverPath.empty() && loadLibftdi(libftdiProblem);
}

const char* backendInUse() {
#if defined(PXR7_HAVE_LIBFTDI)
    return bridgeBackendName();
#else
    return bridgeLibraryPresent() ? "D2XX" : "none";
#endif
}

bool loadDriver(const Options& options) {
    std::string problem;
    const bool loaded = loadBackend(options, problem);
    if (loaded && options.verbose) {
        std::fprintf(stderr, "pxr7: bridges reached through %s\n", backendInUse());
        installCallTrace(traceToStderr);
    }
    if (!loaded) {
        printMessage(MSG_NO_USB_DRIVER, MessageKind::Error, options.json);
        printDiagnosis(options.backend == "libftdi"
                           ? "pxr7: the libftdi1 backend could not start (" + problem + ")."
                           : diagnoseMissingLibrary(options.driverPath, problem));
    }
    return loaded;
}

} // namespace pxr7
