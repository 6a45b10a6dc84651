#include "db_rig.h"

#include <cstdio>
#include <cstdlib>

namespace pxr7::test {

std::string freshDatabase(const std::string& name, std::string& skipReason) {
    const char* state = std::getenv("PXR7_TEST_DATABASE_STATE");
    const char* rig = PXR7_PG_RIG;
    if (!state) {
        skipReason = "no database rig (run through ctest)";
        return "";
    }
    const std::string command =
        std::string("bash '") + rig + "' fresh '" + state + "' " + name + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string url;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        url += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    while (!url.empty() && (url.back() == '\n' || url.back() == '\r'))
        url.pop_back();
    if (status != 0 || url.rfind("postgresql://", 0) != 0) {
        skipReason = "no PostgreSQL server in the rig (Debian: postgresql)";
        return "";
    }
    return url;
}

} // namespace pxr7::test
