// pxr7 collect: not built yet.
#include "commands.h"
#include "exit_codes.h"

#include <cstdio>

namespace pxr7 {

int runCollectCommand(const Options&) {
    std::fputs("pxr7: collect: not available yet\n", stderr);
    return EXIT_DATABASE_FAILED;
}

} // namespace pxr7
