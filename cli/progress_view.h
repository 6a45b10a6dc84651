// How the upgrade's progress reaches the user: one line redrawn in place on a terminal, a line
// per phase and per tenth of the records otherwise, or one JSON event per record.
#pragma once

#include "progress_line.h"
#include "progress_sink.h"

#include <chrono>
#include <cstdint>

namespace pxr7 {

enum class ProgressStyle { TerminalBar, PlainLines, JsonEvents };

class ProgressView : public ProgressSink {
public:
    // TerminalBar falls back to plain lines, redraw by redraw, while the terminal is narrower
    // than kNarrowestProgressLine or standard output is not a terminal after all.
    explicit ProgressView(ProgressStyle style);

    // The upgrade entered a phase. JSON shows nothing here: the command reports phases.
    void phase(Phase p) override;
    // Called whenever the upgrade asks for a redraw with the records sent so far; draws only
    // what changed. Before any phase() call, records being sent count as Phase::Sending.
    void update(bool active, std::int32_t done, std::int32_t recordCount) override;
    // Ends the redrawn line before other output.
    void finishLine() override;

private:
    void show();
    void redrawLine(int columns);
    void printPlainLine();

    ProgressStyle style_;
    Phase phase_ = Phase::Sending;
    bool phaseGiven_ = false;
    std::chrono::steady_clock::time_point sendingSince_{};
    bool timing_ = false;
    bool lineOpen_ = false;
    std::int32_t done_ = 0;
    std::int32_t total_ = 0;
    std::int32_t lastShown_ = -1;
    int lastTenth_ = -1;
};

} // namespace pxr7
