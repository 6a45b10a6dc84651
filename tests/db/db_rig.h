// The throwaway PostgreSQL of pg_rig.sh, as the tests in this folder see it.
#pragma once

#include <string>

namespace pxr7::test {

// The URL of a new, empty database called name on the rig's server; "" when there is no
// server here (why goes to skipReason).
std::string freshDatabase(const std::string& name, std::string& skipReason);

} // namespace pxr7::test

// Skips the test when the rig has no server, or fails it when PXR7_REQUIRE_DATABASE=1.
#define PXR7_FRESH_DATABASE(url, name)                                                             \
    std::string url;                                                                               \
    {                                                                                              \
        std::string why;                                                                           \
        url = ::pxr7::test::freshDatabase(name, why);                                              \
        if (url.empty()) {                                                                         \
            const char* require = std::getenv("PXR7_REQUIRE_DATABASE");                            \
            if (require && std::string(require) == "1")                                            \
                FAIL() << why;                                                                     \
            GTEST_SKIP() << why;                                                                   \
        }                                                                                          \
    }
