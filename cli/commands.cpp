#include "commands.h"

namespace pxr7 {

std::vector<std::unique_ptr<CliCommand>> allCommands() {
    std::vector<std::unique_ptr<CliCommand>> commands;
    commands.push_back(makeListCommand());
    commands.push_back(makeSetupCommand());
    commands.push_back(makeUpgradeCommand());
    commands.push_back(makeAboutCommand());
    commands.push_back(makeStationCommand());
    commands.push_back(makeHistoryCommand());
    commands.push_back(makeCollectCommand());
    commands.push_back(makeServeCommand());
    return commands;
}

} // namespace pxr7
