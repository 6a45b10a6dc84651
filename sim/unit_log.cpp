#include "unit_log.h"

namespace sim {

UnitLog::~UnitLog() {
    open(std::string(), 0);
}

void UnitLog::open(const std::string& path, Micros origin) {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    origin_ = origin;
    if (path.empty()) {
        return;
    }
    file_ = std::fopen(path.c_str(), "ab");
    if (file_ != nullptr) {
        std::fprintf(file_, "bench steady_us=%lld\n",
                     static_cast<long long>(steadyClockMicros(origin)));
        std::fflush(file_);
    }
}

void UnitLog::note(const std::string& unit, Micros at, const std::string& what) {
    write("unit=" + unit + " " + what, at);
}

void UnitLog::noteLead(int bridge, Micros at, const std::string& what) {
    write("lead=" + std::to_string(bridge) + " " + what, at);
}

void UnitLog::write(const std::string& text, Micros at) {
    if (file_ == nullptr) {
        return;
    }
    std::fprintf(file_, "%s at_ms=%lld\n", text.c_str(),
                 static_cast<long long>((at - origin_) / 1000));
    std::fflush(file_);
}

} // namespace sim
