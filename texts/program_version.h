// The program's version line, as the About box and the command line show it.
#pragma once

#include <cstddef>
#include <cstdio>

namespace pxr7 {

constexpr int kProgramVersionMajor = 1;
constexpr int kProgramVersionMinor = 3;
constexpr const char kProgramVersionFormat[] = "PX-R7 Meter V%d.%02d";

inline void formatProgramVersion(char* buffer, std::size_t size) {
    std::snprintf(buffer, size, kProgramVersionFormat, kProgramVersionMajor, kProgramVersionMinor);
}

} // namespace pxr7
