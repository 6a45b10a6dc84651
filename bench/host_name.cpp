#include "host_name.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace pxr7 {

std::string hostName() {
    char name[256] = "";
#if defined(_WIN32)
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) {
        return "";
    }
#else
    if (gethostname(name, sizeof name) != 0) {
        return "";
    }
    name[sizeof name - 1] = '\0';
#endif
    return name;
}

} // namespace pxr7
