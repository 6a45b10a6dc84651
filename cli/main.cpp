// pxr7: the command-line front end of the PXR7 meter upgrade utility.
#include "commands.h"
#include "exit_codes.h"
#include "options.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace pxr7;
    const Options options = parseOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "pxr7: %s\n\n%s", options.error.c_str(), usageText());
        return EXIT_USAGE;
    }
    switch (options.command) {
    case Command::List:
        return runListCommand(options);
    case Command::Setup:
        return runSetupCommand(options);
    case Command::Upgrade:
        return runUpgradeCommand(options);
    case Command::About:
        return runAboutCommand(options);
    case Command::Help:
    case Command::None:
        break;
    }
    std::fputs(usageText(), stdout);
    return EXIT_OK;
}
