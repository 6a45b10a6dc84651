#include "module_loader.h"

#include <dlfcn.h>

namespace pxr7 {

namespace {
#if defined(__APPLE__)
constexpr const char* kDefaultLibraryName = "libftd2xx.dylib";
#else
constexpr const char* kDefaultLibraryName = "libftd2xx.so";
#endif
} // namespace

ModuleHandle openModule(const char* path) {
    return dlopen(path != nullptr ? path : kDefaultLibraryName, RTLD_NOW | RTLD_LOCAL);
}

void* findModuleEntry(ModuleHandle module, const char* name, int /*ordinal*/) {
    return dlsym(module, name);
}

void closeModule(ModuleHandle module) {
    dlclose(module);
}

} // namespace pxr7
