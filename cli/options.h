// The command line's arguments.
#pragma once

#include <string>

namespace pxr7 {

enum class Command { None, List, Setup, Upgrade, About, Help };

struct Options {
    Command command = Command::None;
    std::string driverPath; // empty: the platform's default library name
    std::string backend;    // "", "d2xx" or "libftdi"
    bool json = false, verbose = false;
    std::string logPath; // empty: no log
    std::string serial;  // empty: none
    int index = -1;      // -1: none
    bool assumeYes = false, all = false, skipIfCurrent = false, noVerify = false;
    std::string error; // set when the arguments make no sense
};

Options parseOptions(int argc, char** argv);

// The usage text, exit codes included.
const char* usageText();

} // namespace pxr7
