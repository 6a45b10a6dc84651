// Progress of several upgrades at once: one line per meter redrawn together on a terminal,
// tagged plain lines otherwise, or JSON events that carry each meter's serial number. Each
// meter's thread feeds its own lane; the lanes share one lock.
#pragma once

#include "progress_sink.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pxr7 {

enum class MultiStyle { TerminalLines, PlainLines, JsonEvents };

class MultiProgress {
public:
    MultiProgress(MultiStyle style, const std::vector<std::string>& serials);
    ~MultiProgress();
    MultiProgress(const MultiProgress&) = delete;
    MultiProgress& operator=(const MultiProgress&) = delete;

    ProgressSink& lane(std::size_t index);
    // Leaves the terminal's cursor below the lines.
    void finish();

private:
    class Lane;
    struct State {
        std::string serial;
        Phase phase = Phase::Reset;
        std::int32_t done = 0;
        std::int32_t total = 0;
        int tenth = -1;
    };

    void changed(std::size_t index, bool phaseChanged);
    void redraw();

    MultiStyle style_;
    std::mutex mutex_;
    std::vector<State> states_;
    std::vector<std::unique_ptr<Lane>> lanes_;
    bool drawn_ = false;
};

} // namespace pxr7
