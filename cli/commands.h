// The command line's commands; each returns the program's exit code, and main ends with it.
#pragma once

#include "command_result.h"
#include "lane_observer.h"
#include "options.h"
#include "target_choice.h"

namespace pxr7 {

// Said wherever a user looks when the build carries the repository's stand-in image.
constexpr char kStandInImageNotice[] =
    "Firmware image: a stand-in for testing, not meter firmware. A vendor build embeds the "
    "real image with -DPXR7_FIRMWARE_IMAGE=PATH.";

// Said by the database's commands in a build without PostgreSQL's client library (Windows).
constexpr char kNoDatabaseClient[] = "pxr7: this build has no PostgreSQL client: run it on Linux";

int runListCommand(const Options& options);
int runSetupCommand(const Options& options);
int runUpgradeCommand(const Options& options);
int runAboutCommand(const Options& options);
int runStationCommand(const Options& options);
int runHistoryCommand(const Options& options);
// history --verify: the record's or the database's chain walked (history_verify.cpp).
int runHistoryVerify(const Options& options);
int runCollectCommand(const Options& options);
int runServeCommand(const Options& options);

// Loads the bridge backend the options choose (backend.h). On failure shows the
// missing-driver message and the reason, and returns false. With --trace every call to the
// bridge is then traced; with --verbose the backend in use is named.
bool loadDriver(const Options& options);

// The selection the options make (--serial, --index, --all).
Selection selectionOf(const Options& options);

// How a running transfer looks at the stop signals: a first Ctrl+C is warned about through
// the terminal and lets the transfer go on; a second, SIGTERM or SIGHUP stop it.
StopCheck stopCheck();

} // namespace pxr7
