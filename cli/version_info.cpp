#include "version_info.h"

#include "bridge_library.h"
#include "commands.h"
#include "firmware_image.h"
#include "program_version.h"
#include "sha256.h"
#include "text_output.h"

#include <cstdio>
#include <string>

namespace pxr7 {

namespace {

// The name the binding loads without --driver (link/module_loader_*.cpp).
#if defined(_WIN32)
constexpr char kDefaultLibraryName[] = "Ftd2xx.dll";
#elif defined(__APPLE__)
constexpr char kDefaultLibraryName[] = "libftd2xx.dylib";
#else
constexpr char kDefaultLibraryName[] = "libftd2xx.so";
#endif

struct VersionFacts {
    std::string program; // the About box's line, kept in JSON for readers that know it
    std::string programVersion;
    bool imageFound = false;
    std::uint32_t imageBytes = 0;
    std::string imageSha256;
    std::string imageVersion;
    std::string library;
    bool libraryLoads = false;
    std::string backend;
};

VersionFacts gatherFacts(const Options& options) {
    VersionFacts facts;
    char line[64];
    formatProgramVersion(line, sizeof line);
    facts.program = line;
    facts.programVersion = kProgramVersion;
    const std::uint8_t* data = nullptr;
    facts.imageFound =
        findEmbeddedImage(IMAGE_RESOURCE_ID, &data, &facts.imageBytes) == ImageLookup::Found;
    if (facts.imageFound) {
        facts.imageSha256 = sha256Hex(data, facts.imageBytes);
    }
    facts.imageVersion = embeddedImageVersion();
    facts.library = options.driverPath.empty() ? kDefaultLibraryName : options.driverPath;
    std::string problem;
    facts.libraryLoads = loadBackend(options, problem);
    facts.backend = backendInUse();
    return facts;
}

void printJson(const VersionFacts& facts) {
    std::printf("{\"schema\":1,\"program\":%s,\"program_version\":%s,",
                jsonString(facts.program).c_str(), jsonString(facts.programVersion).c_str());
    if (facts.imageFound) {
        std::printf("\"image\":{\"bytes\":%lu,\"records\":%lu,\"sha256\":\"%s\",",
                    static_cast<unsigned long>(facts.imageBytes),
                    static_cast<unsigned long>(facts.imageBytes / kFirmwareRecordSize),
                    facts.imageSha256.c_str());
    } else {
        std::printf("\"image\":{\"bytes\":null,\"records\":null,\"sha256\":null,");
    }
    std::printf("\"version\":%s,\"standin\":%s},",
                facts.imageVersion.empty() ? "null" : jsonString(facts.imageVersion).c_str(),
                embeddedImageIsStandIn() ? "true" : "false");
    std::printf("\"driver\":{\"library\":%s,\"loads\":%s,\"backend\":%s}}\n",
                jsonString(facts.library).c_str(), facts.libraryLoads ? "true" : "false",
                jsonString(facts.backend).c_str());
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
    } else {
        std::printf("Image size:       not found in the program\n");
    }
    std::printf("Stand-in image:   %s\n",
                embeddedImageIsStandIn() ? "yes, for testing, not meter firmware" : "no");
    std::printf("D2XX library:     %s (%s)\n", printable(facts.library).c_str(),
                facts.libraryLoads ? "loads" : "does not load");
    std::printf("Backend in use:   %s\n", facts.backend.c_str());
}

} // namespace

void printVersionInfo(const Options& options) {
    const VersionFacts facts = gatherFacts(options);
    if (options.json) {
        printJson(facts);
    } else {
        printText(facts);
    }
}

} // namespace pxr7
