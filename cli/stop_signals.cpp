#include "stop_signals.h"

#include "exit_codes.h"
#include "key_input.h"
#include "unit_ledger.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pxr7 {

namespace {

// A handler may only touch lock-free atomics.
static_assert(std::atomic<int>::is_always_lock_free, "signal counts need lock-free atomics");

// The counted signals, in the order their exit codes win when several have arrived.
struct CountedSignal {
    int number;
    Outcome outcome;
    std::atomic<int> count{0};
};

CountedSignal g_signals[] = {
    {SIGTERM, Outcome::Terminated},
#if defined(SIGHUP)
    {SIGHUP, Outcome::Hangup},
#endif
#if defined(SIGQUIT)
    {SIGQUIT, Outcome::Quit},
#endif
    {SIGINT, Outcome::Interrupted},
};

// Several meters' threads ask at once with --all: only one of them warns.
std::atomic<bool> g_warned{false};

// Whether the signals so far ask to stop now: any but Ctrl+C at once, Ctrl+C the second time.
bool stopAsked() {
    for (const CountedSignal& counted : g_signals) {
        const int count = counted.count.load();
        if (count >= (counted.number == SIGINT ? 2 : 1)) {
            return true;
        }
    }
    return false;
}

// What the last act may take at most: the open units' lines take the ledgers' and the record's
// locks, which the stuck thread may hold.
constexpr auto kLastLinesWait = std::chrono::seconds(2);

// The last words of a program whose stop is held up by a call that does not return. The
// warning is one write(2), safe whatever another thread holds. The open units' lines are not:
// they allocate and take the ledgers' and the record's locks, which a thread stuck in a write
// may hold, so a second timer ends the program if they are not written within kLastLinesWait.
// No exit handlers run.
[[noreturn]] void endNow() {
    restoreKeyInput(); // _Exit runs no exit handlers: the terminal gets its mode back here
    // The one exit below main: main cannot be reached while a driver call holds the program.
    std::_Exit(exitCodeOf(stopOutcome()));
}

[[noreturn]] void giveUpOnStuckCall() {
    static const char message[] =
        "pxr7: a call to the USB driver did not return, so DTR could not be cleared: unplug the "
        "meter's lead to let the meter out of reset.\n";
#if defined(_WIN32)
    (void)_write(2, message, sizeof message - 1);
#else
    (void)!write(2, message, sizeof message - 1);
#endif
    try {
        std::thread([] {
            std::this_thread::sleep_for(kLastLinesWait);
            endNow();
        }).detach();
    } catch (const std::system_error&) {
        // No second timer: the lines are still tried.
    }
    // The meters under way still get their record lines: the record must account for them.
    recordOpenUnits(stopOutcome());
    endNow();
}

extern "C" void countStopSignal(int signal);

#if defined(_WIN32)
// Failed writes there return an error and raise nothing.
void ignoreWriteSignals() {}
void handle(int signal) {
    std::signal(signal, countStopSignal);
}
// The runtime resets a handler when it delivers the signal.
void rearm(int signal) {
    std::signal(signal, countStopSignal);
}
#else
// A write to a closed pipe, or past the file-size limit (RLIMIT_FSIZE), then fails with EPIPE
// or EFBIG, which its caller handles: a record line that cannot be written is said and taken
// back, instead of the program ending in the middle of a transfer.
void ignoreWriteSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
void handle(int signal) {
    struct sigaction action {};
    action.sa_handler = countStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}
void rearm(int /*signal*/) {}
#endif

extern "C" void countStopSignal(int signal) {
    const int savedErrno = errno;
    for (CountedSignal& counted : g_signals) {
        if (counted.number == signal) {
            counted.count.fetch_add(1);
        }
    }
    rearm(signal);
    errno = savedErrno;
}

// Watches for a stop that does not happen: once a stop is asked for, the program has
// kStopGraceMs to end by itself. Ending normally (leaving main) cancels it.
class StopWatchdog {
public:
    void start() {
        thread_ = std::thread([this] { watch(); });
    }

    void cancel() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelled_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    using Clock = std::chrono::steady_clock;

    void watch() {
        // Handlers cannot wake a thread safely, so the watchdog looks at the counts this often.
        constexpr auto kLookEvery = std::chrono::milliseconds(50);
        std::optional<Clock::time_point> deadline;
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, kLookEvery, [this] { return cancelled_; })) {
            if (!deadline && stopAsked()) {
                deadline = Clock::now() + std::chrono::milliseconds(kStopGraceMs);
            }
            if (deadline && Clock::now() >= *deadline) {
                giveUpOnStuckCall();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
    std::thread thread_;
};

StopWatchdog& watchdog() {
    static StopWatchdog instance;
    return instance;
}

// Runs as the program ends, before the watchdog is destroyed. What is still buffered goes out
// while the watchdog still watches: a full pipe cannot hold up a stop here either.
extern "C" void endStopWatchdog() {
    std::fflush(stdout);
    std::fflush(stderr);
    watchdog().cancel();
}

} // namespace

void ignoreFailedWriteSignals() {
    ignoreWriteSignals();
}

void installStopSignals() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        watchdog().start();
        std::atexit(endStopWatchdog);
        for (const CountedSignal& counted : g_signals) {
            handle(counted.number);
        }
    });
}

StopRequest stopRequested() {
    if (stopAsked()) {
        return StopRequest::Stop;
    }
    if (anyStopSignal() && !g_warned.exchange(true)) {
        return StopRequest::WarnOnce;
    }
    return StopRequest::None;
}

bool anyStopSignal() {
    for (const CountedSignal& counted : g_signals) {
        if (counted.count.load() > 0) {
            return true;
        }
    }
    return false;
}

Outcome stopOutcome() {
    for (const CountedSignal& counted : g_signals) {
        if (counted.count.load() > 0) {
            return counted.outcome;
        }
    }
    return Outcome::Interrupted;
}

} // namespace pxr7
