#include "backend.h"

#include "bridge_library.h"
#include "ftdi_sio_binding.h"

#if defined(PXR7_HAVE_LIBFTDI)
#include "ftdi_backend.h"
#endif

namespace pxr7 {

namespace {

std::string g_choiceNote;
D2xxAttempt g_attempt;
BackendChoice g_choice;

bool loadD2xx(const BackendChoice& choice, std::string& problem) {
    g_attempt.tried = true;
    g_attempt.loads = choice.driverPath.empty()
                          ? loadBridgeLibrary(&problem)
                          : loadBridgeLibraryFrom(choice.driverPath.c_str(), &problem);
    g_attempt.problem = g_attempt.loads ? std::string() : problem;
    return g_attempt.loads;
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
    g_choiceNote.clear();
    g_attempt = D2xxAttempt{};
    g_choice = choice;
    if (choice.backend == "libftdi") {
        return loadLibftdi(problem);
    }
    const bool automatic = choice.backend.empty() && choice.driverPath.empty();
    std::string libftdiProblem;
    const std::size_t held = automatic ? ftdiSioHeldBridges().size() : 0;
    if (held > 0 && loadLibftdi(libftdiProblem)) {
        g_choiceNote = "pxr7: the kernel's serial driver ftdi_sio holds " + std::to_string(held) +
                       " FT232R bridge(s), which FTDI's library cannot open: using libftdi1 "
                       "(--backend d2xx for FTDI's library)";
        return true;
    }
    if (loadD2xx(choice, problem)) {
        return true;
    }
    // With no choice made and no D2XX library, the open-source stack serves.
    if (automatic && loadLibftdi(libftdiProblem)) {
        g_choiceNote = "pxr7: FTDI's D2XX library did not load (" + problem + "): using libftdi1";
        return true;
    }
    return false;
}

const std::string& backendChoiceNote() {
    return g_choiceNote;
}

const D2xxAttempt& d2xxAttempt() {
    return g_attempt;
}

const BackendChoice& backendChoice() {
    return g_choice;
}

const char* backendInUse() {
#if defined(PXR7_HAVE_LIBFTDI)
    return bridgeBackendName();
#else
    return bridgeLibraryPresent() ? "D2XX" : "none";
#endif
}

} // namespace pxr7
