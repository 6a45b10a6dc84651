#include "bridge_trace.h"

#include "bridge_library.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace pxr7 {

namespace {

const D2xxTable* g_inner = nullptr;
D2xxTable g_traceTable{};
std::atomic<TraceSink> g_sink{nullptr};
// Serialises the sink and guards the handle ids; never held while the library works.
std::mutex g_mutex;
std::map<FT_HANDLE, int> g_handleIds;
int g_nextHandleId = 1;

std::string handleText(FT_HANDLE handle, bool fresh = false) {
    if (handle == nullptr) {
        return "handle null";
    }
    auto found = g_handleIds.find(handle);
    if (fresh || found == g_handleIds.end()) {
        // A library may hand out a closed handle's value again: each open gets its own id.
        found = g_handleIds.insert_or_assign(handle, g_nextHandleId++).first;
    }
    return "handle " + std::to_string(found->second);
}

std::string hexText(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string countText(std::uint32_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// One call's line: name(arguments) -> status[, results].
class CallLine {
public:
    CallLine& handle(FT_HANDLE handle) { return argument(handleText(handle)); }
    CallLine& number(long long value) { return argument(std::to_string(value)); }
    CallLine& hex(std::uint32_t value, int digits) { return argument(hexText(value, digits)); }
    void result(const std::string& text) { results_ += ", " + text; }

    std::string finish(const char* name, FT_STATUS status) const {
        return std::string(name) + "(" + arguments_ + ") -> " + std::to_string(status) + results_;
    }

private:
    CallLine& argument(const std::string& text) {
        arguments_ += (arguments_.empty() ? "" : ", ") + text;
        return *this;
    }

    std::string arguments_;
    std::string results_;
};

// What matters of each call, one function per entry with the entry's own parameters after the
// line and the status. Results are read only after FT_OK: a failing library may leave them.
void describeFT_Open(CallLine& line, FT_STATUS status, int deviceNumber, FT_HANDLE* handle) {
    line.number(deviceNumber);
    if (status == FT_OK && handle != nullptr) {
        line.result(handleText(*handle, true));
    }
}
void describeFT_Close(CallLine& line, FT_STATUS, FT_HANDLE handle) {
    line.handle(handle);
}
void describeFT_Read(CallLine& line, FT_STATUS status, FT_HANDLE handle, void*,
                     std::uint32_t bytesToRead, std::uint32_t* bytesReturned) {
    line.handle(handle).number(bytesToRead);
    if (status == FT_OK && bytesReturned != nullptr) {
        line.result(countText(*bytesReturned, "byte"));
    }
}
void describeFT_Write(CallLine& line, FT_STATUS status, FT_HANDLE handle, void*,
                      std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) {
    line.handle(handle).number(bytesToWrite);
    if (status == FT_OK && bytesWritten != nullptr) {
        line.result(countText(*bytesWritten, "byte"));
    }
}
void describeFT_SetBaudRate(CallLine& line, FT_STATUS, FT_HANDLE handle, std::uint32_t baud) {
    line.handle(handle).number(baud);
}
void describeFT_SetDataCharacteristics(CallLine& line, FT_STATUS, FT_HANDLE handle,
                                       std::uint8_t wordLength, std::uint8_t stopBits,
                                       std::uint8_t parity) {
    line.handle(handle).number(wordLength).number(stopBits).number(parity);
}
void describeFT_SetFlowControl(CallLine& line, FT_STATUS, FT_HANDLE handle,
                               std::uint16_t flowControl, std::uint8_t, std::uint8_t) {
    line.handle(handle).hex(flowControl, 4);
}
void describeFT_SetDtr(CallLine& line, FT_STATUS, FT_HANDLE handle) {
    line.handle(handle);
}
void describeFT_ClrDtr(CallLine& line, FT_STATUS, FT_HANDLE handle) {
    line.handle(handle);
}
void describeFT_Purge(CallLine& line, FT_STATUS, FT_HANDLE handle, std::uint32_t mask) {
    line.handle(handle).number(mask);
}
void describeFT_SetTimeouts(CallLine& line, FT_STATUS, FT_HANDLE handle, std::uint32_t readMs,
                            std::uint32_t writeMs) {
    line.handle(handle).number(readMs).number(writeMs);
}
void describeFT_ListDevices(CallLine& line, FT_STATUS status, void* arg1, void*,
                            std::uint32_t flags) {
    line.hex(flags, 8);
    if (status == FT_OK && flags == FT_LIST_NUMBER_ONLY && arg1 != nullptr) {
        line.result(countText(*static_cast<std::uint32_t*>(arg1), "device"));
    }
}
void describeFT_EE_Program(CallLine& line, FT_STATUS, FT_HANDLE handle, FT_PROGRAM_DATA*) {
    line.handle(handle);
}
void describeFT_EE_Read(CallLine& line, FT_STATUS, FT_HANDLE handle, FT_PROGRAM_DATA*) {
    line.handle(handle);
}
void describeFT_GetDeviceInfo(CallLine& line, FT_STATUS status, FT_HANDLE handle, FT_DEVICE* type,
                              std::uint32_t* id, char*, char*, void*) {
    line.handle(handle);
    if (status == FT_OK && type != nullptr && id != nullptr) {
        line.result("type " + std::to_string(*type) + ", id " + hexText(*id, 8));
    }
}
void describeFT_CyclePort(CallLine& line, FT_STATUS, FT_HANDLE handle) {
    line.handle(handle);
}
void describeFT_SetLatencyTimer(CallLine& line, FT_STATUS, FT_HANDLE handle, std::uint8_t timerMs) {
    line.handle(handle).number(timerMs);
}

void describeFT_CreateDeviceInfoList(CallLine& line, FT_STATUS status, std::uint32_t* count) {
    if (status == FT_OK && count != nullptr) {
        line.result(countText(*count, "device"));
    }
}
void describeFT_GetDeviceInfoDetail(CallLine& line, FT_STATUS status, std::uint32_t index,
                                    std::uint32_t*, std::uint32_t*, std::uint32_t*,
                                    std::uint32_t* locationId, void*, void*, FT_HANDLE*) {
    line.number(index);
    if (status == FT_OK && locationId != nullptr) {
        line.result("location " + hexText(*locationId, 8));
    }
}

template <typename Describe> void report(const char* name, FT_STATUS status, Describe describe) {
    const TraceSink sink = g_sink.load();
    if (sink == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    CallLine line;
    describe(line);
    sink(line.finish(name, status).c_str());
}

#define TRACE_UNPAREN(...) __VA_ARGS__
#define TRACE_FORWARD(ordinal, name, params, args)                                                 \
    FT_STATUS D2XX_API traced##name params {                                                       \
        const FT_STATUS status = g_inner->name args;                                               \
        report(#name, status,                                                                      \
               [&](CallLine& line) { describe##name(line, status, TRACE_UNPAREN args); });         \
        return status;                                                                             \
    }
D2XX_ALL_ENTRY_POINTS(TRACE_FORWARD)
#undef TRACE_FORWARD

void fillTraceTable(const D2xxTable& inner) {
#define TRACE_FILL(ordinal, name, params, args) g_traceTable.name = &traced##name;
    D2XX_ENTRY_POINTS(TRACE_FILL)
#undef TRACE_FILL
#define TRACE_FILL_OPTIONAL(ordinal, name, params, args)                                           \
    g_traceTable.name = inner.name != nullptr ? &traced##name : nullptr;
    D2XX_OPTIONAL_ENTRY_POINTS(TRACE_FILL_OPTIONAL)
#undef TRACE_FILL_OPTIONAL
}

} // namespace

void installCallTrace(TraceSink sink) {
    if (sink == nullptr) {
        removeCallTrace();
        return;
    }
    if (!bridgeLibraryPresent()) {
        return;
    }
    g_sink.store(sink);
    const D2xxTable& current = d2xx();
    if (&current == &g_traceTable) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_handleIds.clear();
        g_nextHandleId = 1;
    }
    g_inner = &current;
    fillTraceTable(current);
    installBridgeTable(&g_traceTable);
}

void removeCallTrace() {
    if (bridgeLibraryPresent() && &d2xx() == &g_traceTable) {
        installBridgeTable(g_inner);
    }
    g_sink.store(nullptr);
}

} // namespace pxr7
