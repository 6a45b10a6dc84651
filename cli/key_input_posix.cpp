#include "key_input.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace pxr7 {

namespace {

termios saved{};
std::atomic<bool> switched{false};

} // namespace

bool startKeyInput() {
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &saved) != 0) {
        return false;
    }
    termios keys = saved;
    // ISIG stays: Ctrl+C reaches the stop handlers as a signal.
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
        return false;
    }
    static const bool registered = std::atexit(restoreKeyInput) == 0;
    (void)registered;
    switched = true;
    return true;
}

void restoreKeyInput() {
    if (switched.exchange(false)) {
        (void)tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
}

InputRead readInput(std::string& bytes, int waitMs) {
    bytes.clear();
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, waitMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
        return InputRead::Nothing;
    }
    if (ready < 0 || (input.revents & POLLNVAL) != 0) {
        return InputRead::End;
    }
    char buffer[256];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
        return InputRead::Nothing;
    }
    if (got <= 0) {
        return InputRead::End;
    }
    bytes.assign(buffer, static_cast<std::size_t>(got));
    return InputRead::Bytes;
}

bool inputReadsReturnInTime() {
    return true;
}

} // namespace pxr7
