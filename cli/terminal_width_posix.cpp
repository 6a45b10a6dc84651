#include "terminal_width.h"

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

} // namespace pxr7
