#include "bridge_library.h"

#include "module_loader.h"

namespace pxr7 {

namespace {

D2xxTable g_boundTable{};
const D2xxTable* g_activeTable = nullptr;
ModuleHandle g_module = nullptr;

bool bindAllEntries(ModuleHandle module, D2xxTable& table) {
    bool complete = true;
#define D2XX_BIND_ENTRY(ordinal, name, params, args)                                               \
    table.name = reinterpret_cast<decltype(table.name)>(findModuleEntry(module, #name, ordinal));  \
    complete = complete && table.name != nullptr;
    D2XX_ENTRY_POINTS(D2XX_BIND_ENTRY)
#undef D2XX_BIND_ENTRY
    return complete;
}

bool bindModule(ModuleHandle module) {
    if (module == nullptr) {
        return false;
    }
    D2xxTable table{};
    if (!bindAllEntries(module, table)) {
        // A partial library would crash at the first missing call: treat it as absent.
        closeModule(module);
        return false;
    }
    if (g_module != nullptr && g_module != module) {
        closeModule(g_module);
    }
    g_module = module;
    g_boundTable = table;
    g_activeTable = &g_boundTable;
    return true;
}

} // namespace

bool loadBridgeLibrary() {
    if (g_activeTable != nullptr) {
        return true;
    }
    return bindModule(openModule(nullptr));
}

bool loadBridgeLibraryFrom(const char* path) {
    if (path == nullptr) {
        return loadBridgeLibrary();
    }
    return bindModule(openModule(path));
}

bool bridgeLibraryPresent() {
    return g_activeTable != nullptr;
}

const D2xxTable& d2xx() {
    return g_activeTable != nullptr ? *g_activeTable : g_boundTable;
}

void installBridgeTable(const D2xxTable* table) {
    g_activeTable = table;
}

} // namespace pxr7
