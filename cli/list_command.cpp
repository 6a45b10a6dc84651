#include "commands.h"
#include "exit_codes.h"
#include "text_output.h"
#include "version_query.h"

#include <cstdio>

namespace pxr7 {

int runListCommand(const Options& options) {
    if (!loadDriver(options)) {
        return EXIT_NO_DRIVER;
    }
    const MeterSearch search = searchMetersCorrectingLeads(SearchExtent::AllMeters);
    if (options.json) {
        std::printf("{\"count\":%zu,\"meters\":[", search.meters.size());
        for (std::size_t i = 0; i < search.meters.size(); ++i) {
            std::printf("%s%s", i == 0 ? "" : ",", jsonString(search.meters[i].version).c_str());
        }
        std::printf("]}\n");
    } else {
        for (const MeterInfo& meter : search.meters) {
            std::printf("%s\n", printable(meter.version).c_str());
        }
        std::printf("Number of devices: %zu\n", search.meters.size());
    }
    return EXIT_OK;
}

} // namespace pxr7
