// The library's exported C entry points, one per entry of the D2XX lists, each forwarding to
// the simulator. Which of them a build exports is decided by its generated .def file (Windows)
// or version script (elsewhere), derived from the same lists.
#include "d2xx_calls.h"

using namespace pxr7::ftd2xx;

#if defined(_WIN32)
#define SIM_EXPORT
#else
#define SIM_EXPORT __attribute__((visibility("default")))
#endif

#define SIM_EXPORT_CALL(ordinal, name, params, args)                                               \
    extern "C" SIM_EXPORT FT_STATUS D2XX_API name params {                                         \
        return sim::calls::name args;                                                              \
    }
D2XX_ALL_ENTRY_POINTS(SIM_EXPORT_CALL)
#undef SIM_EXPORT_CALL

// Not part of D2XX: lets a test in one process run several scenarios one after the other.
extern "C" SIM_EXPORT void pxr7sim_reset(void) {
    sim::calls::resetFromEnvironment();
}
