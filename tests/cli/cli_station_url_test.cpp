// A station's URL is refused by the command line exactly when the collector would refuse it,
// so a typo ends `pxr7 collect` at once instead of as a station that is never reached.
#include "cli_rig.h"
#include "station_client.h"

#include <gtest/gtest.h>

#include <string>

using namespace simrig;

namespace {

TEST(CliStationUrl, RefusedByTheCommandLineExactlyWhenTheCollectorRefusesIt) {
    const char* urls[] = {
        "http://127.0.0.1:8470",
        "http://bench-3.local:80/",
        "https://[::1]:8470/",
        "https://host:443",
        "http://host",
        "http://host:80/api",
        "http://user@host:80",
        "http://host:99999999",
        "http://:80",
        "http://::1:80",
        "http://[::1]:",
        "ftp://host:21",
        "http://host:80?x=1",
        "http://host:8a",
        "https://",
    };
    CliRig rig("");
    for (const char* url : urls) {
        pxr7::StationAddress address;
        std::string problem;
        const bool collectorTakesIt = pxr7::parseStationUrl(url, address, problem);
        // Without --database the command is refused either way; which option it names says
        // whether --station passed.
        const CliResult result = rig.run(std::string("collect --station ") + url);
        EXPECT_EQ(result.exitCode, 2) << url << "\n" << result.err;
        const bool stationRefused = result.err.find("--station") != std::string::npos;
        EXPECT_EQ(stationRefused, !collectorTakesIt) << url << "\n" << result.err;
        EXPECT_EQ(result.err.find("--database") != std::string::npos, collectorTakesIt) << url;
    }
}

} // namespace
