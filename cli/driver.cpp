// Loading the bridge backend for a command, and the call trace.
#include "backend.h"
#include "bridge_library.h"
#include "bridge_trace.h"
#include "commands.h"
#include "diagnosis.h"
#include "json_writer.h"
#include "messages.h"
#include "printable.h"
#include "stop_signals.h"
#include "target_choice.h"
#include "terminal.h"

namespace pxr7 {

namespace {

void traceLine(const char* line) {
    terminal().line(LineKind::Trace, std::string("pxr7: ") + line);
}

bool stopDuringTransfer() {
    switch (stopRequested()) {
    case StopRequest::Stop:
        return true;
    case StopRequest::WarnOnce:
        terminal().line(LineKind::Warning,
                        "An upgrade is in progress: stopping now leaves the meter without "
                        "working firmware until it is upgraded again.\nPress Ctrl+C again to "
                        "stop anyway.");
        return false;
    case StopRequest::None:
        break;
    }
    return false;
}

// The Windows program's catalogue text names ftd2xx.dll; elsewhere the same line names the
// library that did not load here.
void printNoDriver(const ProgramOptions& options) {
#if defined(_WIN32)
    (void)options;
    printMessage(MSG_NO_USB_DRIVER, MessageKind::Error);
#else
    const std::string library = options.backend == "libftdi" ? std::string("libftdi1")
                                : options.driverPath.empty()
                                    ? std::string(defaultBridgeLibraryName())
                                    : printable(options.driverPath);
    const std::string text = "Warning, can't load USB driver (" + library + ")";
    if (terminal().settings().json) {
        JsonObject().add("event", "message").add("kind", "error").add("text", text).print();
    } else {
        terminal().line(LineKind::Error, text);
    }
#endif
}

} // namespace

bool loadDriver(const ProgramOptions& options) {
    std::string problem;
    const bool loaded = loadBackend(BackendChoice{options.driverPath, options.backend}, problem);
    if (loaded) {
        if (!backendChoiceNote().empty()) {
            terminal().line(LineKind::Detail, backendChoiceNote());
        }
        terminal().line(LineKind::Detail,
                        std::string("pxr7: bridges reached through ") + backendInUse());
        if (options.trace) {
            installCallTrace(traceLine);
        }
        return true;
    }
    printNoDriver(options);
    printDiagnosis(
        diagnoseMissingLibrary(BackendChoice{options.driverPath, options.backend}, problem));
    return false;
}

StopCheck stopCheck() {
    StopCheck check;
    check.duringTransfer = stopDuringTransfer;
    check.afterTransfer = anyStopSignal;
    check.outcome = stopOutcome;
    return check;
}

} // namespace pxr7
