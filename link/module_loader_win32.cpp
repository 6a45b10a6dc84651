#include "module_loader.h"

#include <windows.h>

namespace pxr7 {

namespace {
constexpr const char* kDefaultLibraryName = "Ftd2xx.dll";

#ifndef LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif
#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#endif

HMODULE loadWithoutWorkingDirectory(const char* name, DWORD extraFlags) {
    // The safe search order: the program's directory and the system directories, never the
    // working directory, so a planted Ftd2xx.dll cannot be picked up.
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS | extraFlags);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Systems without the search flags: take the working directory out of the search path.
        SetDllDirectoryA("");
        module = LoadLibraryA(name);
    }
    return module;
}
} // namespace

// The system's words for the last error, on one line.
std::string lastErrorText(const char* name) {
    const DWORD error = GetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    return std::string(name) + ": " + (reason.empty() ? "error " + std::to_string(error) : reason);
}

ModuleHandle openModule(const char* path, std::string* problem) {
    HMODULE module = nullptr;
    const char* name = path != nullptr ? path : kDefaultLibraryName;
    if (path == nullptr) {
        module = loadWithoutWorkingDirectory(kDefaultLibraryName, 0);
    } else {
        char fullPath[MAX_PATH];
        DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
        if (length != 0 && length < MAX_PATH) {
            module = loadWithoutWorkingDirectory(fullPath, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR);
        }
    }
    if (module == nullptr && problem != nullptr) {
        *problem = lastErrorText(name);
    }
    return module;
}

void* findModuleEntry(ModuleHandle module, const char* name, int ordinal) {
#if defined(_M_ARM64) || defined(__aarch64__)
    // FTDI's ARM64 library numbers its exports differently; its names are the stable part.
    (void)ordinal;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    (void)name;
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
#endif
}

void closeModule(ModuleHandle module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace pxr7
