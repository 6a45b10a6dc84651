// The program's binding against the simulated library: it must find all sixteen entry points
// in the whole library and call anything less "not present".
#include "bridge_library.h"
#include "sim_rig.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace pxr7;

using namespace simrig;

namespace {

// Each entry point's name, from the one list.
const char* const kEntryNames[] = {
#define ENTRY_NAME(ordinal, name, params, args) #name,
    D2XX_ENTRY_POINTS(ENTRY_NAME)
#undef ENTRY_NAME
};

} // namespace

TEST(SimBinding, AllSixteenEntriesBindFromTheSimulatorLoadedByPath) {
    ASSERT_TRUE(loadBridgeLibraryFrom(simLibraryPath()));
    EXPECT_TRUE(bridgeLibraryPresent());
    const D2xxTable& table = d2xx();
#define EXPECT_BOUND(ordinal, name, params, args) EXPECT_NE(table.name, nullptr) << #name;
    D2XX_ENTRY_POINTS(EXPECT_BOUND)
#undef EXPECT_BOUND
    // Bound to the simulator's own functions, not to something else of the same name.
    void* module = dlopen(simLibraryPath(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(table.FT_Open), dlsym(module, "FT_Open"));
    EXPECT_EQ(reinterpret_cast<void*>(table.FT_CyclePort), dlsym(module, "FT_CyclePort"));
    dlclose(module);
}

TEST(SimBinding, LibraryLackingOneEntryIsNotPresent) {
    // The incomplete build really lacks FT_CyclePort and nothing else...
    void* module = dlopen(incompleteSimLibraryPath(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    for (const char* name : kEntryNames) {
        const bool expected = std::string(name) != "FT_CyclePort";
        EXPECT_EQ(dlsym(module, name) != nullptr, expected) << name;
    }
    dlclose(module);
    // ...and the binding refuses it.
    EXPECT_FALSE(loadBridgeLibraryFrom(incompleteSimLibraryPath()));
}

TEST(SimBinding, MissingLibraryFileIsNotPresent) {
    const std::string missing = std::string(simLibraryPath()) + ".does-not-exist";
    EXPECT_FALSE(loadBridgeLibraryFrom(missing.c_str()));
}

TEST(SimBinding, SimulatorExportsNoInternalSymbols) {
    void* module = dlopen(simLibraryPath(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(dlsym(module, "pxr7sim_reset"), nullptr);
    // The simulator's C++ internals stay hidden so they cannot clash with a host's symbols.
    EXPECT_EQ(dlsym(module, "_ZN3sim3nowEv"), nullptr);
    dlclose(module);
}
