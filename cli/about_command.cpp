#include "commands.h"
#include "exit_codes.h"
#include "firmware_image.h"
#include "program_version.h"
#include "text_output.h"

#include <cstdio>

namespace pxr7 {

int runAboutCommand(const Options& options) {
    char line[64];
    formatProgramVersion(line, sizeof line);
    if (options.json) {
        std::printf("{\"version\":%s,\"standin_image\":%s}\n", jsonString(line).c_str(),
                    embeddedImageIsStandIn() ? "true" : "false");
    } else {
        std::printf("%s\n", line);
        if (embeddedImageIsStandIn()) {
            std::printf("%s\n", kStandInImageNotice);
        }
    }
    return EXIT_OK;
}

} // namespace pxr7
