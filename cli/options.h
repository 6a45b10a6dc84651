// The command line's arguments.
#pragma once

#include <string>

namespace pxr7 {

enum class Command { None, List, Upgrade, About, Help };

struct Options {
    Command command = Command::None;
    std::string driverPath; // empty: the platform's default library name
    bool json = false;
    bool assumeYes = false;
    std::string error; // set when the arguments make no sense
};

Options parseOptions(int argc, char** argv);

// The usage text, exit codes included.
const char* usageText();

} // namespace pxr7
