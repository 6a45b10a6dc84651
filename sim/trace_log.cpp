#include "trace_log.h"

namespace sim {

namespace {
constexpr std::uint32_t kMaxTracedBytes = 16;
} // namespace

TraceLine& TraceLine::add(const char* key, long long value) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += std::to_string(value);
    return *this;
}

TraceLine& TraceLine::addText(const char* key, const std::string& value) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += value;
    return *this;
}

TraceLine& TraceLine::bridge(int bridgeIndex) {
    return bridgeIndex < 0 ? addText("bridge", "?") : add("bridge", bridgeIndex);
}

TraceLine& TraceLine::data(const void* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0 || count > kMaxTracedBytes) {
        return *this;
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::uint32_t i = 0; i < count; ++i) {
        hex += digits[p[i] >> 4];
        hex += digits[p[i] & 0x0F];
    }
    return addText("data", hex);
}

std::string TraceLine::finish(std::uint32_t status) const {
    return text_ + " status=" + std::to_string(status) + "\n";
}

TraceLog::~TraceLog() {
    open(std::string());
}

void TraceLog::open(const std::string& path) {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!path.empty()) {
        file_ = std::fopen(path.c_str(), "ab");
    }
}

void TraceLog::write(const TraceLine& line, std::uint32_t status) {
    if (file_ == nullptr) {
        return;
    }
    const std::string text = line.finish(status);
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
}

} // namespace sim
