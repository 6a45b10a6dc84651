// Which library reaches the bridges: FTDI's D2XX library (named by the user or the platform's
// default) or libftdi1, chosen by the user or, when nothing was chosen, libftdi1 wherever no
// D2XX library loads.
#pragma once

#include <string>

namespace pxr7 {

struct BackendChoice {
    std::string driverPath; // empty: the platform's default D2XX library
    std::string backend;    // "", "d2xx" or "libftdi"
};

// Loads the backend; problem says why it failed.
bool loadBackend(const BackendChoice& choice, std::string& problem);

// "D2XX", "libftdi1 <version>" or "none".
const char* backendInUse();

} // namespace pxr7
