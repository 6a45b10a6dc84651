#include "commands.h"
#include "firmware_image.h"
#include "json_writer.h"
#include "program_version.h"
#include "terminal.h"

namespace pxr7 {

namespace {

class AboutCommand final : public CliCommand {
public:
    const char* name() const override { return "about"; }
    const char* description() const override { return "show the program's version"; }
    void addOptions(CLI::App&) override {}
    Outcome run(const ProgramOptions& program, const Opening&) override;
};

Outcome AboutCommand::run(const ProgramOptions& program, const Opening&) {
    char line[64];
    formatProgramVersion(line, sizeof line);
    if (program.json) {
        JsonObject().add("version", line).add("standin_image", embeddedImageIsStandIn()).print();
        return Outcome::Ok;
    }
    terminal().line(LineKind::Result, line);
    if (embeddedImageIsStandIn()) {
        terminal().line(LineKind::Result, kStandInImageNotice);
    }
    return Outcome::Ok;
}

} // namespace

std::unique_ptr<CliCommand> makeAboutCommand() {
    return std::make_unique<AboutCommand>();
}

} // namespace pxr7
