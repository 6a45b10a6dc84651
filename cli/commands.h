// The command line's commands; each returns the program's exit code.
#pragma once

#include "options.h"

int runListCommand(const Options& options);
int runUpgradeCommand(const Options& options);
int runAboutCommand(const Options& options);

// Loads the D2XX library named by --driver, or the platform's default. On failure shows the
// missing-driver message and returns false.
bool loadDriver(const Options& options);

// Presents catalogue messages on the console, as text or as JSON event lines.
void useConsoleMessages(bool json);
