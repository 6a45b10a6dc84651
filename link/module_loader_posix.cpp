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

ModuleHandle openModule(const char* path, std::string* problem) {
    ModuleHandle module =
        dlopen(path != nullptr ? path : kDefaultLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr && problem != nullptr) {
        const char* reason = dlerror();
        *problem = reason != nullptr ? reason : "the library could not be loaded";
    }
    return module;
}

void* findModuleEntry(ModuleHandle module, const char* name, int /*ordinal*/) {
    return dlsym(module, name);
}

void closeModule(ModuleHandle module) {
    dlclose(module);
}

} // namespace pxr7
