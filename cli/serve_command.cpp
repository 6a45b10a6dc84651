// pxr7 serve: not built yet.
#include "commands.h"
#include "exit_codes.h"

#include <cstdio>

namespace pxr7 {

int runServeCommand(const Options&) {
    std::fputs("pxr7: serve: not available yet\n", stderr);
    return EXIT_DATABASE_FAILED;
}

} // namespace pxr7
