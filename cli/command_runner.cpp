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

Outcome CliCommand::endWithoutDriver(const ProgramOptions&) {
    return Outcome::NoDriver;
}

Outcome runCommand(CliCommand& command, const ProgramOptions& program) {
    const CommandNeeds needs = command.needs();
    if (needs.database && !kDatabaseClientBuilt) {
        terminal().line(LineKind::Error, kNoDatabaseClient);
        return Outcome::DatabaseFailed;
    }
    if (const std::optional<Outcome> refused = command.refuseEarly(program)) {
        return *refused;
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
