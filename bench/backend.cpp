#include "backend.h"

#include "bridge_library.h"

#if defined(PXR7_HAVE_LIBFTDI)
#include "ftdi_backend.h"
#endif

namespace pxr7 {

namespace {

bool loadD2xx(const BackendChoice& choice, std::string& problem) {
    return choice.driverPath.empty() ? loadBridgeLibrary(&problem)
                                     : loadBridgeLibraryFrom(choice.driverPath.c_str(), &problem);
}

bool loadLibftdi(std::string& problem) {
#if defined(PXR7_HAVE_LIBFTDI)
    if (loadLibftdiBackend()) {
        return true;
    }
    problem = libftdiLastError();
    return false;
#else
    problem = "this build has no libftdi1 backend";
    return false;
#endif
}

} // namespace

bool loadBackend(const BackendChoice& choice, std::string& problem) {
    if (choice.backend == "libftdi") {
        return loadLibftdi(problem);
    }
    if (loadD2xx(choice, problem)) {
        return true;
    }
    // With no choice made and no D2XX library, the open-source stack serves.
    std::string libftdiProblem;
    return choice.backend.empty() && choice.driverPath.empty() && loadLibftdi(libftdiProblem);
}

const char* backendInUse() {
#if defined(PXR7_HAVE_LIBFTDI)
    return bridgeBackendName();
#else
    return bridgeLibraryPresent() ? "D2XX" : "none";
#endif
}

} // namespace pxr7
