#include "progress_view.h"

#include <cstdio>

namespace pxr7 {

namespace {

constexpr int kBarWidth = 30;

void formatDuration(char* out, std::size_t size, double seconds) {
    // Past 99 hours the estimate means nothing; the bound also keeps the text short.
    constexpr double kLongest = 99 * 3600 + 59 * 60 + 59;
    if (seconds < 0) {
        seconds = 0;
    } else if (seconds > kLongest) {
        seconds = kLongest;
    }
    const int whole = static_cast<int>(seconds + 0.5);
    std::snprintf(out, size, "%d:%02d", whole / 60 % 10000, whole % 60);
}

} // namespace

ProgressView::ProgressView(ProgressStyle style) : style_(style) {}

void ProgressView::update(bool active, std::int32_t done, std::int32_t recordCount) {
    if (!active) {
        return;
    }
    if (!running_) {
        running_ = true;
        started_ = std::chrono::steady_clock::now();
    }
    if (done == lastShown_) {
        return;
    }
    lastShown_ = done;
    switch (style_) {
    case ProgressStyle::TerminalBar:
        drawBar(done, recordCount);
        break;
    case ProgressStyle::PlainLines: {
        const int tenth = recordCount > 0 ? static_cast<int>(done * 10LL / recordCount) : 10;
        if (tenth != lastTenth_) {
            lastTenth_ = tenth;
            std::printf("Sent %d of %d records (%d%%)\n", done, recordCount, tenth * 10);
            std::fflush(stdout);
        }
        break;
    }
    case ProgressStyle::JsonEvents:
        std::printf("{\"schema\":1,\"event\":\"progress\",\"records\":%d,\"total\":%d}\n", done,
                    recordCount);
        std::fflush(stdout);
        break;
    }
}

void ProgressView::drawBar(std::int32_t done, std::int32_t total) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const int percent = total > 0 ? static_cast<int>(done * 100LL / total) : 100;
    const int filled =
        total > 0 ? static_cast<int>(done * static_cast<long long>(kBarWidth) / total) : kBarWidth;
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) {
        bar[i] = i < filled ? '#' : '-';
    }
    bar[kBarWidth] = '\0';
    char elapsedText[16];
    char leftText[16];
    formatDuration(elapsedText, sizeof elapsedText, elapsed);
    if (done > 0) {
        formatDuration(leftText, sizeof leftText, elapsed / done * (total - done));
    } else {
        std::snprintf(leftText, sizeof leftText, "--:--");
    }
    std::printf("\r[%s] %d/%d records %3d%%  elapsed %s  left %s ", bar, done, total, percent,
                elapsedText, leftText);
    std::fflush(stdout);
    lineOpen_ = true;
}

void ProgressView::finishLine() {
    if (lineOpen_) {
        std::printf("\n");
        std::fflush(stdout);
        lineOpen_ = false;
    }
}

} // namespace pxr7
