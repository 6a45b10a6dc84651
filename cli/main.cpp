// pxr7: the command-line front end of the PXR7 meter upgrade utility.
#include "commands.h"
#include "exit_codes.h"
#include "options.h"
#include "run_log.h"
#include "stop_signals.h"
#include "terminal.h"

#include <cerrno>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace pxr7 {

namespace {

// A descriptor 0, 1 or 2 the program was started without would go to the next file it opens
// (the --log file, a state file of the driver), and its messages with it: the null device
// takes each missing one first.
#if defined(_WIN32)
void openMissingStandardStreams() {}
#else
void openMissingStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}
#endif

int runCommand(const Options& options) {
    switch (options.command) {
    case Command::List:
        return runListCommand(options);
    case Command::Setup:
        return runSetupCommand(options);
    case Command::Upgrade:
        return runUpgradeCommand(options);
    case Command::About:
        return runAboutCommand(options);
    case Command::Station:
        return runStationCommand(options);
    case Command::History:
        return runHistoryCommand(options);
    case Command::Collect:
        return runCollectCommand(options);
    case Command::Serve:
        return runServeCommand(options);
    case Command::None:
        break;
    }
    return EXIT_USAGE;
}

} // namespace

} // namespace pxr7

int main(int argc, char** argv) {
    using namespace pxr7;
    openMissingStandardStreams();
    ignoreFailedWriteSignals();
    Options options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed >= 0) {
        return parsed;
    }
    TerminalSettings settings;
    settings.json = options.json;
    settings.quiet = options.quiet;
    settings.verbose = options.verbose;
    settings.trace = options.trace;
    terminal().configure(settings);
    const int exitCode = runCommand(options);
    // The upgrade logs its own line, with the meter's serial number and versions.
    if (!options.logPath.empty() && options.command != Command::Upgrade) {
        RunLogEntry entry;
        entry.command = commandName(options.command);
        entry.outcome = outcomeWordFor(exitCode);
        entry.exitCode = exitCode;
        appendRunLog(options.logPath, entry);
    }
    return exitCode;
}
