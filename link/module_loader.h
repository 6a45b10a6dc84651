// The platform's shared-library loader, behind three calls so the binding stays portable.
#pragma once

#include <string>

namespace pxr7 {

using ModuleHandle = void*;

// Opens the library by its platform default name when path is null, else the file at path.
// Returns null on failure, with the loader's reason in problem if given.
ModuleHandle openModule(const char* path, std::string* problem);

// Looks up one entry point: by ordinal where the platform's D2XX library is imported by
// ordinal (Windows x86 and x64), by name elsewhere. Returns null if missing.
void* findModuleEntry(ModuleHandle module, const char* name, int ordinal);

void closeModule(ModuleHandle module);

} // namespace pxr7
