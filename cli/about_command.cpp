#include "commands.h"
#include "firmware_image.h"
#include "json_writer.h"
#include "program_version.h"
#include "terminal.h"

namespace pxr7 {

int runAboutCommand(const Options& options) {
    char line[64];
    formatProgramVersion(line, sizeof line);
    if (options.json) {
        JsonObject().add("version", line).add("standin_image", embeddedImageIsStandIn()).print();
        return EXIT_OK;
    }
    terminal().line(LineKind::Result, line);
    if (embeddedImageIsStandIn()) {
        terminal().line(LineKind::Result, kStandInImageNotice);
    }
    return EXIT_OK;
}

} // namespace pxr7
