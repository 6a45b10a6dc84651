// The command line's commands, each an object made in its own file, and what they share.
#pragma once

#include "command.h"
#include "command_result.h"
#include "lane_observer.h"

namespace pxr7 {

// Said wherever a user looks when the build carries the repository's stand-in image.
constexpr char kStandInImageNotice[] =
    "Firmware image: a stand-in for testing, not meter firmware. A vendor build embeds the "
    "real image with -DPXR7_FIRMWARE_IMAGE=PATH.";

// Said by the database's commands in a build without PostgreSQL's client library (Windows).
constexpr char kNoDatabaseClient[] = "pxr7: this build has no PostgreSQL client: run it on Linux";

std::unique_ptr<CliCommand> makeListCommand();
std::unique_ptr<CliCommand> makeSetupCommand();
std::unique_ptr<CliCommand> makeUpgradeCommand();
std::unique_ptr<CliCommand> makeAboutCommand();
std::unique_ptr<CliCommand> makeStationCommand();
std::unique_ptr<CliCommand> makeHistoryCommand();
std::unique_ptr<CliCommand> makeCollectCommand();
std::unique_ptr<CliCommand> makeServeCommand();

// Loads the bridge backend the options choose (backend.h). On failure shows the
// missing-driver message and the reason, and returns false. With --trace every call to the
// bridge is then traced; with --verbose the backend in use is named.
bool loadDriver(const ProgramOptions& program);

// How a running transfer looks at the stop signals: a first Ctrl+C is warned about through
// the terminal and lets the transfer go on; a second, SIGTERM or SIGHUP stop it.
StopCheck stopCheck();

} // namespace pxr7
