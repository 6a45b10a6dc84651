#include "progress_view.h"

#include "terminal_width.h"

#include <cstdio>

namespace pxr7 {

ProgressView::ProgressView(ProgressStyle style) : style_(style) {}

void ProgressView::phase(Phase p) {
    if (phaseGiven_ && p == phase_) {
        return;
    }
    phaseGiven_ = true;
    phase_ = p;
    if (p == Phase::Sending) {
        timing_ = true;
        sendingSince_ = std::chrono::steady_clock::now();
    }
    lastTenth_ = -1;
    if (style_ == ProgressStyle::JsonEvents) {
        return;
    }
    const int columns = style_ == ProgressStyle::TerminalBar ? stdoutColumns() : 0;
    if (columns >= kNarrowestProgressLine) {
        redrawLine(columns);
        return;
    }
    finishLine();
    std::printf("%s\n", phaseLabel(p));
    std::fflush(stdout);
}

void ProgressView::update(bool active, std::int32_t done, std::int32_t recordCount) {
    if (!active) {
        return;
    }
    if (phase_ == Phase::Sending && !timing_) {
        timing_ = true;
        sendingSince_ = std::chrono::steady_clock::now();
    }
    if (done == lastShown_) {
        return;
    }
    lastShown_ = done;
    done_ = done;
    total_ = recordCount;
    show();
}

void ProgressView::show() {
    if (style_ == ProgressStyle::JsonEvents) {
        std::printf("{\"schema\":1,\"event\":\"progress\",\"records\":%d,\"total\":%d}\n",
                    static_cast<int>(done_), static_cast<int>(total_));
        std::fflush(stdout);
        return;
    }
    const int columns = style_ == ProgressStyle::TerminalBar ? stdoutColumns() : 0;
    if (columns >= kNarrowestProgressLine) {
        redrawLine(columns);
    } else {
        printPlainLine();
    }
}

void ProgressView::redrawLine(int columns) {
    ProgressFigures figures;
    figures.phase = phase_;
    figures.done = done_;
    figures.total = total_;
    figures.secondsSending =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - sendingSince_).count();
    const std::string line = formatProgressLine(figures, columns);
    // Blanks to the last column but one clear what a longer line left, and never wrap.
    std::printf("\r%-*s", columns - 1, line.c_str());
    std::fflush(stdout);
    lineOpen_ = true;
}

void ProgressView::printPlainLine() {
    const int tenth = total_ > 0 ? static_cast<int>(done_ * 10LL / total_) : 10;
    if (tenth == lastTenth_) {
        return;
    }
    lastTenth_ = tenth;
    finishLine();
    std::printf("Sent %d of %d records (%d%%)\n", static_cast<int>(done_), static_cast<int>(total_),
                tenth * 10);
    std::fflush(stdout);
}

void ProgressView::finishLine() {
    if (lineOpen_) {
        std::printf("\n");
        std::fflush(stdout);
        lineOpen_ = false;
    }
}

} // namespace pxr7
