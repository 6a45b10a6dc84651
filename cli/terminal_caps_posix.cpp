#include "terminal_caps.h"

#include <cstdlib>
#include <cstring>
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

bool stdoutTakesSequences() {
    const char* term = std::getenv("TERM");
    return stdoutIsTerminal() && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

bool stdoutIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

bool stdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

} // namespace pxr7
