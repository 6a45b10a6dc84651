#include "stop_signals.h"

#include "exit_codes.h"

#include <atomic>
#include <csignal>

namespace pxr7 {

namespace {

volatile std::sig_atomic_t g_interrupts = 0;
volatile std::sig_atomic_t g_terminations = 0;
volatile std::sig_atomic_t g_hangups = 0;
// Several meters' threads ask at once with --all: only one of them warns.
std::atomic<bool> g_warned{false};

extern "C" void countStopSignal(int signal) {
    if (signal == SIGINT) {
        g_interrupts = g_interrupts + 1;
    } else if (signal == SIGTERM) {
        g_terminations = g_terminations + 1;
    } else {
        g_hangups = g_hangups + 1;
    }
    // Some systems reset the handler on delivery.
    std::signal(signal, countStopSignal);
}

} // namespace

void ignoreBrokenPipes() {
#if defined(SIGPIPE)
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void installStopSignals() {
    std::signal(SIGINT, countStopSignal);
    std::signal(SIGTERM, countStopSignal);
#if defined(SIGHUP)
    std::signal(SIGHUP, countStopSignal);
#endif
}

StopRequest stopRequested() {
    if (g_terminations > 0 || g_hangups > 0 || g_interrupts >= 2) {
        return StopRequest::Stop;
    }
    if (g_interrupts == 1 && !g_warned.exchange(true)) {
        return StopRequest::WarnOnce;
    }
    return StopRequest::None;
}

bool anyStopSignal() {
    return g_interrupts > 0 || g_terminations > 0 || g_hangups > 0;
}

int stopExitCode() {
    if (g_terminations > 0) {
        return EXIT_TERMINATED;
    }
    if (g_hangups > 0) {
        return EXIT_HANGUP;
    }
    return EXIT_INTERRUPTED;
}

} // namespace pxr7
