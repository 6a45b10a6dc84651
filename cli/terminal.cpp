#include "terminal.h"

#include "progress_line.h"
#include "terminal_caps.h"

namespace pxr7 {

namespace {

// Narrower than this, a lane says too little: plain lines instead.
constexpr int kNarrowestLiveTerminal = 20;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(40);

bool shown(LineKind kind, const TerminalSettings& settings) {
    switch (kind) {
    case LineKind::Info:
        return !settings.quiet && !settings.json; // JSON says it in its own events
    case LineKind::Result:
        return !settings.json;
    case LineKind::Detail:
        return settings.verbose;
    case LineKind::Trace:
        return settings.trace;
    default:
        return true;
    }
}

std::FILE* streamFor(LineKind kind) {
    switch (kind) {
    case LineKind::Json:
        return stdout;
    case LineKind::Info:
    case LineKind::Result:
        return stdout;
    default:
        return stderr;
    }
}

} // namespace

Terminal& terminal() {
    static Terminal the;
    return the;
}

std::vector<std::string> wrapText(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    do {
        const std::size_t end = text.find('\n', start);
        std::string rest = text.substr(start, end == std::string::npos ? end : end - start);
        while (width > 0 && rest.size() > static_cast<std::size_t>(width)) {
            std::size_t cut = rest.rfind(' ', static_cast<std::size_t>(width));
            const bool atBlank = cut != std::string::npos && cut > 0;
            cut = atBlank ? cut : static_cast<std::size_t>(width);
            lines.push_back(rest.substr(0, cut));
            rest.erase(0, atBlank ? cut + 1 : cut);
        }
        lines.push_back(rest);
        start = end == std::string::npos ? end : end + 1;
    } while (start != std::string::npos);
    return lines;
}

void Terminal::configure(const TerminalSettings& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = settings;
    columns_ = settings.json ? 0 : stdoutColumns();
    live_ = columns_ >= kNarrowestLiveTerminal && stdoutTakesSequences();
}

void Terminal::writeLines(std::FILE* stream, const std::string& text) {
    for (const std::string& piece : wrapText(text, live_ ? columns_ - 1 : 0)) {
        std::fputs(piece.c_str(), stream);
        std::fputc('\n', stream);
    }
    std::fflush(stream);
}

void Terminal::line(LineKind kind, const std::string& text) {
    if (!shown(kind, settings_)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    takeLanesDown();
    writeLines(streamFor(kind), text);
    if (kind != LineKind::Trace || std::chrono::steady_clock::now() - lastDraw_ >= kRedrawPeriod) {
        putLanesUp();
    }
}

void Terminal::takeLanesDown() {
    if (drawn_ > 0) {
        std::fprintf(stdout, "\x1b[%dA\r\x1b[J", drawn_);
        std::fflush(stdout);
        drawn_ = 0;
    }
}

void Terminal::putLanesUp() {
    if (!live_ || lanes_.empty() || drawn_ > 0) {
        return;
    }
    const std::size_t width = static_cast<std::size_t>(columns_ - 1);
    for (const std::string& lane : lanes_) {
        std::fputs(lane.substr(0, width).c_str(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    drawn_ = static_cast<int>(lanes_.size());
    lastDraw_ = std::chrono::steady_clock::now();
}

void Terminal::drawLanes(const std::vector<std::string>& lanes, bool force) {
    std::lock_guard<std::mutex> lock(mutex_);
    lanes_ = lanes;
    if (!live_ ||
        (!force && drawn_ > 0 && std::chrono::steady_clock::now() - lastDraw_ < kRedrawPeriod)) {
        return;
    }
    takeLanesDown();
    putLanesUp();
}

void Terminal::endLanes() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_ && !lanes_.empty()) {
        takeLanesDown();
        putLanesUp();
    }
    lanes_.clear();
    drawn_ = 0;
}

bool Terminal::ask(const std::string& question, std::string& answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    takeLanesDown();
    std::fprintf(stderr, "%s ", question.c_str());
    std::fflush(stderr);
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, stdin) != nullptr;
    if (!got) {
        std::fputc('\n', stderr);
    }
    answer = line;
    putLanesUp();
    return got;
}

} // namespace pxr7
