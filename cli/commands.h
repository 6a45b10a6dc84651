// The command line's commands; each returns the program's exit code.
#pragma once

#include "message_catalogue.h"
#include "options.h"

namespace pxr7 {

// Said wherever a user looks when the build carries the repository's stand-in image.
constexpr char kStandInImageNotice[] =
    "Firmware image: a stand-in for testing, not meter firmware. A vendor build embeds the "
    "real image with -DPXR7_FIRMWARE_IMAGE=PATH.";

int runListCommand(const Options& options);
int runUpgradeCommand(const Options& options);
int runAboutCommand(const Options& options);

// Loads the D2XX library named by --driver, or the platform's default. On failure shows the
// missing-driver message and returns false.
bool loadDriver(const Options& options);

// A catalogue message on the console: errors on stderr and information on stdout as plain
// lines, or as a JSON event line on stdout.
void printMessage(int index, MessageKind kind, bool json);

} // namespace pxr7
