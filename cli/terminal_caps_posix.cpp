#include "terminal_caps.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pxr7 {

int stdoutColumns() {
    winsize size{};
    if (isatty(STDOUT_FILENO) == 0 || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

int stdoutRows() {
    winsize size{};
    if (isatty(STDOUT_FILENO) == 0 || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_row;
}

namespace {

// Read by the thread that redraws, set by the handler in whichever thread takes the signal:
// a lock-free atomic is safe in both.
std::atomic<bool> resized{false};

void noteResize(int) {
    resized.store(true);
}

} // namespace

void watchTerminalSize() {
    struct sigaction action {};
    action.sa_handler = noteResize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
}

bool tookResize() {
    return resized.exchange(false);
}

bool stdoutTakesSequences() {
    const char* term = std::getenv("TERM");
    return stdoutIsTerminal() && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

bool stdoutTakesUtf8() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            std::string lower(value);
            for (char& c : lower) {
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            }
            return lower.find("utf-8") != std::string::npos ||
                   lower.find("utf8") != std::string::npos;
        }
    }
    return false;
}

bool stdoutIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

bool stdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

} // namespace pxr7
