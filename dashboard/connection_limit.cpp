#include "connection_limit.h"

namespace pxr7 {

bool ConnectionLimit::admit(const std::string& address) {
    const auto found = perAddress_.find(address);
    const std::size_t mine = found == perAddress_.end() ? 0 : found->second;
    const std::size_t spare = bounds_.spare < bounds_.total ? bounds_.spare : 0;
    const std::size_t open = mine == 0 ? bounds_.total : bounds_.total - spare;
    if (held_ >= open || mine >= bounds_.perAddress) {
        return false;
    }
    ++held_;
    ++perAddress_[address];
    return true;
}

void ConnectionLimit::release(const std::string& address) {
    const auto found = perAddress_.find(address);
    if (found == perAddress_.end()) {
        return;
    }
    --held_;
    if (--found->second == 0) {
        perAddress_.erase(found);
    }
}

} // namespace pxr7
