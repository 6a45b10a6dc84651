#include "commands.h"
#include "exit_codes.h"
#include "firmware_image.h"
#include "json_writer.h"
#include "program_version.h"
#include "text_output.h"

#include <cstdio>

namespace pxr7 {

int runAboutCommand(const Options& options) {
    char line[64];
    formatProgramVersion(line, sizeof line);
    if (options.json) {
        JsonObject().add("version", line).add("standin_image", embeddedImageIsStandIn()).print();
    } else {
        std::printf("%s\n", line);
        if (embeddedImageIsStandIn()) {
            std::printf("%s\n", kStandInImageNotice);
        }
    }
    return EXIT_OK;
}

} // namespace pxr7
