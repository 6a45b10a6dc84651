// Stands in for the setup command until it is written.
#include "options.h"

#include <cstdio>

namespace pxr7 {

int runSetupCommand(const Options& /*options*/) {
    std::fprintf(stderr, "pxr7: setup is not built yet\n");
    return 1;
}

} // namespace pxr7
