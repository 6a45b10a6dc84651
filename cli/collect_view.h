// What `pxr7 collect` shows of the collector's events: a line for people, or with --json an
// object per line (docs/json.md).
#pragma once

#include "collector.h"

#include <string>

namespace pxr7 {

class CollectView : public CollectObserver {
public:
    explicit CollectView(bool json) : json_(json) {}
    void collectEvent(const CollectEvent& event) override;

private:
    bool json_;
};

// The event as a person reads it.
std::string collectEventLine(const CollectEvent& event);

} // namespace pxr7
