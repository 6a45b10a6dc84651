#include "command_runner.h"

#include "commands.h"
#include "diagnosis.h"
#include "exit_codes.h"
#include "messages.h"
#include "terminal.h"

namespace pxr7 {

namespace {

#if defined(PXR7_HAVE_DATABASE)
constexpr bool kDatabaseClientBuilt = true;
#else
constexpr bool kDatabaseClientBuilt = false;
#endif

} // namespace

int CliCommand::endWithoutDriver(const ProgramOptions&) {
    return EXIT_NO_DRIVER;
}

int runCommand(CliCommand& command, const ProgramOptions& program) {
    const CommandNeeds needs = command.needs();
    if (needs.database && !kDatabaseClientBuilt) {
        terminal().line(LineKind::Error, kNoDatabaseClient);
        return EXIT_DATABASE_FAILED;
    }
    if (const int refused = command.refuseEarly(program); refused >= 0) {
        return refused;
    }
    if (needs.driver && !loadDriver(program)) {
        return command.endWithoutDriver(program);
    }
    Opening opening;
    if (needs.survey) {
        opening.reports = surveyFor(command.selection());
        if (needs.locate) {
            locateLeads(opening.reports);
        }
        describeBridges(opening.reports);
    }
    return command.run(program, opening);
}

} // namespace pxr7
