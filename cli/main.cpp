// pxr7: the command-line front end of the PXR7 meter upgrade utility.
#include "command_line.h"
#include "command_runner.h"
#include "exit_codes.h"
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

} // namespace

} // namespace pxr7

int main(int argc, char** argv) {
    using namespace pxr7;
    openMissingStandardStreams();
    ignoreFailedWriteSignals();
    const std::vector<std::unique_ptr<CliCommand>> commands = allCommands();
    ProgramOptions program;
    const ParsedLine parsed = parseCommandLine(argc, argv, commands, program);
    if (parsed.command == nullptr) {
        return exitCodeOf(parsed.outcome);
    }
    TerminalSettings settings;
    settings.json = program.json;
    settings.quiet = program.quiet;
    settings.verbose = program.verbose;
    settings.trace = program.trace;
    terminal().configure(settings);
    const Outcome outcome = runCommand(*parsed.command, program);
    if (!program.logPath.empty() && !parsed.command->needs().logsItself) {
        RunLogEntry entry;
        entry.command = parsed.command->name();
        entry.outcome = outcomeWordFor(outcome);
        entry.exitCode = exitCodeOf(outcome);
        appendRunLog(program.logPath, entry);
    }
    return exitCodeOf(outcome);
}
