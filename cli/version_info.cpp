#include "version_info.h"

#include "backend.h"
#include "bridge_library.h"
#include "commands.h"
#include "firmware_image.h"
#include "firmware_image_check.h"
#include "json_writer.h"
#include "printable.h"
#include "program_version.h"

#include <cstdio>
#include <string>

namespace pxr7 {

namespace {

struct VersionFacts {
    std::string program; // the About box's line, kept in JSON for readers that know it
    std::string programVersion;
    bool imageFound = false;
    std::uint32_t imageBytes = 0;
    std::string imageSha256;
    bool imageMatches = false; // the digest is the one the program was built with
    std::string imageVersion;
    std::string library; // FTDI's library: the one --driver names, or this platform's
    D2xxAttempt attempt;
    std::string backend; // the backend in use, "none" if none loaded
};

VersionFacts gatherFacts(const ProgramOptions& options) {
    VersionFacts facts;
    char line[64];
    formatProgramVersion(line, sizeof line);
    facts.program = line;
    facts.programVersion = kProgramVersion;
    const ImageCheck& image = embeddedImageCheck();
    facts.imageFound = image.lookup == ImageLookup::Found;
    facts.imageBytes = image.size;
    facts.imageSha256 = image.digest;
    facts.imageMatches = image.matches;
    facts.imageVersion = embeddedImageVersion();
    facts.library = options.driverPath.empty() ? defaultBridgeLibraryName() : options.driverPath;
    std::string problem;
    loadBackend(BackendChoice{options.driverPath, options.backend}, problem);
    facts.attempt = d2xxAttempt();
    facts.backend = backendInUse();
    return facts;
}

const char* attemptText(const D2xxAttempt& attempt) {
    if (!attempt.tried) {
        return "not tried";
    }
    return attempt.loads ? "loads" : "does not load";
}

JsonObject imageJson(const VersionFacts& facts) {
    JsonObject image;
    if (facts.imageFound) {
        image.add("bytes", static_cast<long long>(facts.imageBytes))
            .add("records", static_cast<long long>(facts.imageBytes / kFirmwareRecordSize))
            .add("sha256", facts.imageSha256)
            .add("sha256_matches", facts.imageMatches);
    } else {
        image.add("bytes", nullptr)
            .add("records", nullptr)
            .add("sha256", nullptr)
            .add("sha256_matches", false);
    }
    return image.addTextOrNull("version", facts.imageVersion)
        .add("standin", embeddedImageIsStandIn());
}

void printJson(const VersionFacts& facts) {
    JsonObject driver;
    driver.add("library", facts.library)
        .add("tried", facts.attempt.tried)
        .addTextOrNull("problem", facts.attempt.problem)
        .add("loads", facts.attempt.loads)
        .add("backend", facts.backend);
    JsonObject version;
    version.add("program", facts.program)
        .add("program_version", facts.programVersion)
        .add("image", imageJson(facts))
        .add("driver", driver);
    std::printf("%s\n", version.line().c_str());
}

// The program's version and the firmware image's version read alike ("1.3.0", "PXR7 V1.03"):
// each line says which it is.
void printText(const VersionFacts& facts) {
    std::printf("pxr7 program %s\n", facts.programVersion.c_str());
    std::printf("Firmware image:   %s\n", facts.imageVersion.empty()
                                              ? "version not declared by the build"
                                              : printable(facts.imageVersion).c_str());
    if (facts.imageFound) {
        std::printf("Image size:       %lu bytes, %lu records\n",
                    static_cast<unsigned long>(facts.imageBytes),
                    static_cast<unsigned long>(facts.imageBytes / kFirmwareRecordSize));
        std::printf("Image SHA-256:    %s\n", facts.imageSha256.c_str());
        if (facts.imageMatches) {
            std::printf("Image check:      matches the digest the program was built with\n");
        } else {
            std::printf("Image check:      DOES NOT MATCH the digest the program was built "
                        "with (%s): the program is damaged or was altered, reinstall it\n",
                        builtImageDigest());
        }
    } else {
        std::printf("Image size:       not found in the program\n");
    }
    std::printf("Stand-in image:   %s\n",
                embeddedImageIsStandIn() ? "yes, for testing, not meter firmware" : "no");
    std::printf("D2XX library:     %s (%s)\n", printable(facts.library).c_str(),
                attemptText(facts.attempt));
    if (!facts.attempt.problem.empty()) {
        std::printf("Loader's reason:  %s\n", printable(facts.attempt.problem).c_str());
    }
    std::printf("Backend in use:   %s\n", facts.backend.c_str());
}

} // namespace

void printVersionInfo(const ProgramOptions& options) {
    const VersionFacts facts = gatherFacts(options);
    if (options.json) {
        printJson(facts);
    } else {
        printText(facts);
    }
}

} // namespace pxr7
