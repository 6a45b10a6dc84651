// The call trace: one line per D2XX call, `<FunctionName> <key>=<value> ... status=<n>`,
// appended to the file named by PXR7_SIM_TRACE and flushed line by line, so a program that
// crashes still leaves every call it made behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

class TraceLine {
public:
    explicit TraceLine(const char* function) : text_(function) {}
    TraceLine& add(const char* key, long long value);
    TraceLine& addText(const char* key, const std::string& value);
    // "bridge=<n>", or "bridge=?" for a handle that reaches no bridge (n < 0).
    TraceLine& bridge(int bridgeIndex);
    // data=<hex> for 1 to 16 bytes; nothing otherwise.
    TraceLine& data(const void* bytes, std::uint32_t count);
    std::string finish(std::uint32_t status) const;

private:
    std::string text_;
};

class TraceLog {
public:
    TraceLog() = default;
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;
    ~TraceLog();

    // Opens (or re-opens) the log at path; an empty path turns tracing off.
    void open(const std::string& path);
    void write(const TraceLine& line, std::uint32_t status);

private:
    std::FILE* file_ = nullptr;
};

} // namespace sim
