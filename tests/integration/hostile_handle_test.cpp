// Calls a careless or hostile host could make: null, closed, invented and cycled handles, null
// out-pointers, double opens. Each must fail with a status (never FT_OK) and never crash.
#include "bridge_library.h"
#include "sim_rig.h"

#include <gtest/gtest.h>

#include <functional>

using namespace pxr7;

using namespace simrig;

namespace {

// Every call that takes a handle, with harmless arguments.
std::vector<std::pair<std::string, std::function<FT_STATUS(FT_HANDLE)>>> handleCalls() {
    static std::uint8_t buffer[600];
    static std::uint32_t count;
    static FT_PROGRAM_DATA record;
    record = FT_PROGRAM_DATA{};
    record.Signature2 = 0xFFFFFFFF;
    record.Version = 2;
    static FT_DEVICE type;
    static std::uint32_t id;
    static char serial[16];
    static char description[64];
    const D2xxTable& t = d2xx();
    return {
        {"FT_Close", [&t](FT_HANDLE h) { return t.FT_Close(h); }},
        {"FT_Read", [&t](FT_HANDLE h) { return t.FT_Read(h, buffer, 1, &count); }},
        {"FT_Write", [&t](FT_HANDLE h) { return t.FT_Write(h, buffer, 516, &count); }},
        {"FT_SetBaudRate", [&t](FT_HANDLE h) { return t.FT_SetBaudRate(h, 115200); }},
        {"FT_SetDataCharacteristics",
         [&t](FT_HANDLE h) { return t.FT_SetDataCharacteristics(h, 8, 0, 0); }},
        {"FT_SetFlowControl", [&t](FT_HANDLE h) { return t.FT_SetFlowControl(h, 0, 0, 0); }},
        {"FT_SetDtr", [&t](FT_HANDLE h) { return t.FT_SetDtr(h); }},
        {"FT_ClrDtr", [&t](FT_HANDLE h) { return t.FT_ClrDtr(h); }},
        {"FT_Purge", [&t](FT_HANDLE h) { return t.FT_Purge(h, FT_PURGE_RX); }},
        {"FT_SetTimeouts", [&t](FT_HANDLE h) { return t.FT_SetTimeouts(h, 200, 1000); }},
        {"FT_EE_Program", [&t](FT_HANDLE h) { return t.FT_EE_Program(h, &record); }},
        {"FT_EE_Read", [&t](FT_HANDLE h) { return t.FT_EE_Read(h, &record); }},
        {"FT_GetDeviceInfo",
         [&t](FT_HANDLE h) {
             return t.FT_GetDeviceInfo(h, &type, &id, serial, description, nullptr);
         }},
        {"FT_CyclePort", [&t](FT_HANDLE h) { return t.FT_CyclePort(h); }},
    };
}

} // namespace

TEST(SimHostileCalls, NullClosedAndInventedHandlesAreRefused) {
    SimRig rig("");
    ASSERT_TRUE(rig.ready());
    FT_HANDLE closed = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &closed), FT_OK);
    ASSERT_EQ(d2xx().FT_Close(closed), FT_OK);
    int local = 0;
    const FT_HANDLE bad[] = {nullptr, closed, reinterpret_cast<FT_HANDLE>(0x1234),
                             static_cast<FT_HANDLE>(&local),
                             reinterpret_cast<FT_HANDLE>(~std::uintptr_t{0})};
    rig.clearTrace();
    int calls = 0;
    for (const FT_HANDLE handle : bad) {
        for (const auto& call : handleCalls()) {
            EXPECT_EQ(call.second(handle), FT_INVALID_HANDLE) << call.first;
            ++calls;
        }
    }
    const auto trace = rig.trace();
    ASSERT_EQ(static_cast<int>(trace.size()), calls);
    for (const std::string& line : trace) {
        EXPECT_EQ(valueOf(line, "bridge"), "?") << line;
        EXPECT_EQ(valueOf(line, "status"), "1") << line;
    }
    // The bridge is still there and usable afterwards.
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);
}

TEST(SimHostileCalls, HandleOfACycledBridgeIsDeadButCanBeClosed) {
    SimRig rig("reenumerate_ms = 50\n");
    ASSERT_TRUE(rig.ready());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    ASSERT_EQ(d2xx().FT_CyclePort(handle), FT_OK);
    for (const auto& call : handleCalls()) {
        if (call.first != "FT_Close") {
            EXPECT_NE(call.second(handle), FT_OK) << call.first;
        }
    }
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);
    EXPECT_EQ(d2xx().FT_Close(handle), FT_INVALID_HANDLE);
}

TEST(SimHostileCalls, BadArgumentsAreRefused) {
    SimRig rig("bridges = 2\n[bridge 1]\n");
    ASSERT_TRUE(rig.ready());
    const D2xxTable& t = d2xx();
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(t.FT_Open(0, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_Open(2, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(t.FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
    std::uint32_t count = 0;
    EXPECT_EQ(t.FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
    EXPECT_NE(t.FT_ListDevices(&count, nullptr, 0x40000000u), FT_OK);
    EXPECT_EQ(t.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 2u);

    ASSERT_EQ(t.FT_Open(1, &handle), FT_OK);
    FT_HANDLE second = nullptr;
    EXPECT_EQ(t.FT_Open(1, &second), FT_DEVICE_NOT_OPENED) << "a bridge opens only once";
    std::uint8_t byte = 0;
    EXPECT_EQ(t.FT_Read(handle, &byte, 1, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_Read(handle, nullptr, 1, &count), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_Write(handle, nullptr, 10, &count), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_Write(handle, &byte, 1, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_SetBaudRate(handle, 0), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(t.FT_SetDataCharacteristics(handle, 9, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_SetFlowControl(handle, 0x0123, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_Purge(handle, 0x10), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr),
              FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_Close(handle), FT_OK);
}
