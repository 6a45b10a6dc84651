#include "bridge_library.h"

#include "module_loader.h"

namespace pxr7 {

namespace {

D2xxTable g_boundTable{};
const D2xxTable* g_activeTable = nullptr;
ModuleHandle g_module = nullptr;
const char* (*g_reasonSource)() = nullptr;
std::string (*g_openFailureSource)(int) = nullptr;

// Binds every entry; names the first one missing, or returns null.
const char* bindAllEntries(ModuleHandle module, D2xxTable& table) {
    const char* missing = nullptr;
#define D2XX_BIND_ENTRY(ordinal, name, params, args)                                               \
    table.name = reinterpret_cast<decltype(table.name)>(findModuleEntry(module, #name, ordinal));  \
    if (table.name == nullptr && missing == nullptr) {                                             \
        missing = #name;                                                                           \
    }
    D2XX_ENTRY_POINTS(D2XX_BIND_ENTRY)
#undef D2XX_BIND_ENTRY
    // Optional entries may be missing; they stay null.
#define D2XX_BIND_OPTIONAL_ENTRY(ordinal, name, params, args)                                      \
    table.name = reinterpret_cast<decltype(table.name)>(findModuleEntry(module, #name, ordinal));
    D2XX_OPTIONAL_ENTRY_POINTS(D2XX_BIND_OPTIONAL_ENTRY)
#undef D2XX_BIND_OPTIONAL_ENTRY
    return missing;
}

bool bindModule(ModuleHandle module, std::string* problem) {
    if (module == nullptr) {
        return false;
    }
    D2xxTable table{};
    if (const char* missing = bindAllEntries(module, table)) {
        if (problem != nullptr) {
            *problem = std::string("the library lacks the entry point ") + missing;
        }
        // A partial library would crash at the first missing call: treat it as absent.
        closeModule(module);
        return false;
    }
    if (g_module != nullptr && g_module != module) {
        closeModule(g_module);
    }
    g_module = module;
    g_reasonSource = nullptr;
    g_openFailureSource = nullptr;
    g_boundTable = table;
    g_activeTable = &g_boundTable;
    return true;
}

} // namespace

const char* defaultBridgeLibraryName() {
#if defined(_WIN32)
    return "Ftd2xx.dll";
#elif defined(__APPLE__)
    return "libftd2xx.dylib";
#else
    return "libftd2xx.so";
#endif
}

bool loadBridgeLibrary(std::string* problem) {
    if (g_activeTable != nullptr) {
        return true;
    }
    return bindModule(openModule(nullptr, problem), problem);
}

bool loadBridgeLibraryFrom(const char* path, std::string* problem) {
    if (path == nullptr) {
        return loadBridgeLibrary(problem);
    }
    return bindModule(openModule(path, problem), problem);
}

bool bridgeLibraryPresent() {
    return g_activeTable != nullptr;
}

bool bridgeHasLatencyTimer() {
    return g_activeTable != nullptr && g_activeTable->FT_SetLatencyTimer != nullptr;
}

bool bridgeHasLocations() {
    return g_activeTable != nullptr && g_activeTable->FT_CreateDeviceInfoList != nullptr &&
           g_activeTable->FT_GetDeviceInfoDetail != nullptr;
}

std::string bridgeFailureReason() {
    const char* reason = g_reasonSource != nullptr ? g_reasonSource() : nullptr;
    return reason != nullptr ? reason : "";
}

void setBridgeFailureReasonSource(const char* (*source)()) {
    g_reasonSource = source;
}

std::string bridgeOpenFailure(int index) {
    return g_openFailureSource != nullptr ? g_openFailureSource(index) : std::string();
}

void setBridgeOpenFailureSource(std::string (*source)(int index)) {
    g_openFailureSource = source;
}

const D2xxTable& d2xx() {
    return g_activeTable != nullptr ? *g_activeTable : g_boundTable;
}

void installBridgeTable(const D2xxTable* table) {
    g_activeTable = table;
}

} // namespace pxr7
