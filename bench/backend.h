// Which library reaches the bridges: FTDI's D2XX library (named by the user or the platform's
// default) or libftdi1, chosen by the user or, when nothing was chosen, the one that can open
// the bridges: libftdi1 while the kernel's serial driver ftdi_sio holds FT232R bridges (FTDI's
// library cannot open those) or wherever no D2XX library loads, else FTDI's library.
#pragma once

#include <string>

namespace pxr7 {

struct BackendChoice {
    std::string driverPath; // empty: the platform's default D2XX library
    std::string backend;    // "", "d2xx" or "libftdi"
};

// What became of FTDI's library in the latest loadBackend: not tried (libftdi1 chosen, or
// preferred while ftdi_sio holds the bridges), loaded, or failed with the loader's reason.
struct D2xxAttempt {
    bool tried = false;
    bool loads = false;
    std::string problem;
};

// Loads the backend; problem says why it failed.
bool loadBackend(const BackendChoice& choice, std::string& problem);

// "D2XX", "libftdi1 <version>" or "none".
const char* backendInUse();

// Why loadBackend chose the backend when nothing was chosen and it was not FTDI's library
// ("" otherwise): one line for --verbose.
const std::string& backendChoiceNote();

const D2xxAttempt& d2xxAttempt();

// What the latest loadBackend was asked for: the advice for a driver that did not load fits it.
const BackendChoice& backendChoice();

} // namespace pxr7
