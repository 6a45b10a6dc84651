// The command line's commands; each returns the program's exit code.
#pragma once

#include "message_catalogue.h"
#include "options.h"

#include <cstdint>
#include <string>

namespace pxr7 {

// The latency timer the command line sets for its version queries and transfers, where the
// library can: replies reach it at once, while the meter keeps its own pace.
constexpr std::uint8_t kCommandLineLatencyMs = 2;

// Said wherever a user looks when the build carries the repository's stand-in image.
constexpr char kStandInImageNotice[] =
    "Firmware image: a stand-in for testing, not meter firmware. A vendor build embeds the "
    "real image with -DPXR7_FIRMWARE_IMAGE=PATH.";

int runListCommand(const Options& options);
int runSetupCommand(const Options& options);
int runUpgradeCommand(const Options& options);
int runAboutCommand(const Options& options);

// Loads the bridge backend: the D2XX library named by --driver (or the platform's default),
// or libftdi1 with --backend libftdi, or libftdi1 when no D2XX library loads and nothing was
// chosen. On failure shows the missing-driver message and the reason, and returns false.
// With --verbose every call to the bridge is then traced on stderr.
bool loadDriver(const Options& options);

// Loads the backend as loadDriver does, quietly; problem says why it failed.
bool loadBackend(const Options& options, std::string& problem);
// "D2XX", "libftdi1 <version>" or "none".
const char* backendInUse();

// The diagnosis line on stderr (nothing for an empty line).
void printDiagnosis(const std::string& line);

// A catalogue message on the console: errors on stderr and information on stdout as plain
// lines, or as a JSON event line on stdout.
void printMessage(int index, MessageKind kind, bool json);

} // namespace pxr7
