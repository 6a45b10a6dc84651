#include "commands.h"
#include "exit_codes.h"
#include "text_output.h"
#include "version_query.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace pxr7;

namespace {

struct CollectedLines : MeterListTarget {
    std::vector<std::string> lines;
    void addLine(const char* text) override { lines.emplace_back(text); }
};

} // namespace

int runListCommand(const Options& options) {
    if (!loadDriver(options)) {
        return EXIT_NO_DRIVER;
    }
    CollectedLines meters;
    const int count = enumerateMeters(&meters, nullptr);
    if (options.json) {
        std::printf("{\"count\":%d,\"meters\":[", count);
        for (std::size_t i = 0; i < meters.lines.size(); ++i) {
            std::printf("%s%s", i == 0 ? "" : ",", jsonString(meters.lines[i]).c_str());
        }
        std::printf("]}\n");
    } else {
        for (const std::string& line : meters.lines) {
            std::printf("%s\n", printable(line).c_str());
        }
        std::printf("Number of devices: %d\n", count);
    }
    return EXIT_OK;
}
