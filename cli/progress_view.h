// How the upgrade's progress reaches the user: a redrawn bar on a terminal, a line every
// tenth otherwise, or one JSON event per record.
#pragma once

#include <chrono>
#include <cstdint>

namespace pxr7 {

enum class ProgressStyle { TerminalBar, PlainLines, JsonEvents };

class ProgressView {
public:
    explicit ProgressView(ProgressStyle style);

    // Called whenever the upgrade asks for a redraw with the records sent so far; draws only
    // what changed.
    void update(bool active, std::int32_t done, std::int32_t recordCount);
    // Ends the bar's line before other output.
    void finishLine();

private:
    void drawBar(std::int32_t done, std::int32_t total);

    ProgressStyle style_;
    std::chrono::steady_clock::time_point started_{};
    bool running_ = false;
    bool lineOpen_ = false;
    std::int32_t lastShown_ = -1;
    int lastTenth_ = -1;
};

} // namespace pxr7
