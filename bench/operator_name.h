// Who runs the bench now: --operator, the bench file's operator = NAME, or a badge scanned on
// the id input (OP:NAME) from then on. Each unit's record line carries the name it had when the
// unit began. The station's lanes and the reader of the operator's keys share it.
#pragma once

#include <mutex>
#include <string>

namespace pxr7 {

class OperatorName {
public:
    explicit OperatorName(std::string name = "") : name_(std::move(name)) {}

    void set(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        name_ = name;
    }
    // "" when nobody is named.
    std::string get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return name_;
    }

private:
    mutable std::mutex mutex_;
    std::string name_;
};

} // namespace pxr7
