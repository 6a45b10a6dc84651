// Where a running upgrade's progress goes: the one progress line of a single upgrade, or one
// lane of several upgrades shown together.
#pragma once

#include "progress_line.h"

#include <cstdint>

namespace pxr7 {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void phase(Phase p) = 0;
    virtual void update(bool active, std::int32_t done, std::int32_t recordCount) = 0;
    // Ends a redrawn line before other output.
    virtual void finishLine() = 0;
};

} // namespace pxr7
