// The program's version: the line the About box shows ("PX-R7 Meter V1.03", as the Windows
// program has always read), and the version the packages, --version and the manual page give.
#pragma once

#include <cstddef>
#include <cstdio>

// Set by the build from the project's version, so packages and program agree.
#ifndef PXR7_PROGRAM_VERSION
#error "PXR7_PROGRAM_VERSION is set by texts/CMakeLists.txt"
#endif

namespace pxr7 {

constexpr const char kProgramVersion[] = PXR7_PROGRAM_VERSION;

constexpr int kProgramVersionMajor = 1;
constexpr int kProgramVersionMinor = 3;
constexpr const char kProgramVersionFormat[] = "PX-R7 Meter V%d.%02d";

inline void formatProgramVersion(char* buffer, std::size_t size) {
    std::snprintf(buffer, size, kProgramVersionFormat, kProgramVersionMajor, kProgramVersionMinor);
}

} // namespace pxr7
