#include "terminal.h"

#include "progress_line.h"
#include "terminal_caps.h"

#include <algorithm>

namespace pxr7 {

namespace {

constexpr std::size_t kMostQueuedLines = 65536;

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

std::size_t visibleWidth(const std::string& line) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\x1b') {
            while (i < line.size() && line[i] != 'm') {
                ++i;
            }
            continue;
        }
        ++width;
    }
    return width;
}

std::string cutToColumns(const std::string& line, std::size_t columns) {
    std::string cut;
    std::size_t width = 0;
    bool inColour = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\x1b') {
            const std::size_t end = line.find('m', i);
            const std::string sequence =
                line.substr(i, end == std::string::npos ? end : end - i + 1);
            cut += sequence;
            inColour = sequence != "\x1b[0m";
            i = end == std::string::npos ? line.size() : end;
            continue;
        }
        if (width == columns) {
            return inColour ? cut + "\x1b[0m" : cut;
        }
        cut += line[i];
        ++width;
    }
    return cut;
}

void Terminal::configure(const TerminalSettings& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = settings;
    columns_ = settings.json ? 0 : stdoutColumns();
    rows_ = settings.json ? 0 : stdoutRows();
    live_ = columns_ >= kNarrowestLiveTerminal && stdoutTakesSequences();
}

void Terminal::followSize() {
    if (!live_) {
        return;
    }
    // Narrower than the narrowest live terminal, lanes are cut rather than switched to plain
    // lines halfway through a run.
    columns_ = std::max(stdoutColumns(), kNarrowestLiveTerminal);
    rows_ = stdoutRows();
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
    {
        std::unique_lock<std::mutex> queue(queueMutex_);
        if (writerOn_) {
            // Bounded: a reader gone for good holds up the lanes only after this many lines.
            queueChanged_.wait(queue, [this] { return queue_.size() < kMostQueuedLines; });
            queue_.emplace_back(kind, text);
            queueChanged_.notify_all();
            return;
        }
    }
    writeNow(kind, text);
}

void Terminal::startWriter() {
    std::lock_guard<std::mutex> queue(queueMutex_);
    if (!writerOn_) {
        writerOn_ = true;
        writer_ = std::thread([this] { writeQueued(); });
    }
}

void Terminal::stopWriter() {
    {
        std::lock_guard<std::mutex> queue(queueMutex_);
        if (!writerOn_) {
            return;
        }
        writerOn_ = false;
    }
    queueChanged_.notify_all();
    writer_.join();
}

// Until stopWriter, and then until the queue is empty.
void Terminal::writeQueued() {
    std::unique_lock<std::mutex> queue(queueMutex_);
    for (;;) {
        queueChanged_.wait(queue, [this] { return !queue_.empty() || !writerOn_; });
        if (queue_.empty()) {
            return;
        }
        std::pair<LineKind, std::string> next = std::move(queue_.front());
        queue_.pop_front();
        queueChanged_.notify_all();
        queue.unlock();
        writeNow(next.first, next.second);
        queue.lock();
    }
}

void Terminal::writeNow(LineKind kind, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    takeLanesDown();
    followSize();
    writeLines(streamFor(kind), text);
    if (kind != LineKind::Trace || std::chrono::steady_clock::now() - lastDraw_ >= kRedrawPeriod) {
        putLanesUp();
    }
}

void Terminal::takeLanesDown() {
    if (drawn_.empty()) {
        return;
    }
    if (stdoutRows() > drawnAtRows_ && drawnAtRows_ > 0) {
        // Taller than at the last draw: the terminal may have brought lines back from its
        // scrollback above the block, an older copy of it among them. The screen is cleared
        // and the block drawn from its top, so one copy is on it.
        std::fputs("\x1b[H\x1b[2J", stdout);
        std::fflush(stdout);
        drawn_.clear();
        return;
    }
    const std::size_t columns = static_cast<std::size_t>(std::max(stdoutColumns(), 1));
    int rows = 0;
    for (const std::size_t width : drawn_) {
        rows += width > columns ? static_cast<int>((width + columns - 1) / columns) : 1;
    }
    // Up to the block's first row, then that row erased on its own and the rest below: an erase
    // of the whole screen from its top-left corner is one some terminals keep in their
    // scrollback (tmux does), and a terminal made narrower may have wrapped the block taller
    // than this guess or not at all.
    std::fprintf(stdout, "\x1b[%dA\r\x1b[2K\x1b[B\x1b[J\x1b[A", rows);
    std::fflush(stdout);
    drawn_.clear();
}

void Terminal::putLanesUp() {
    if (!live_ || asking_ || lanes_.empty() || !drawn_.empty()) {
        return;
    }
    const std::size_t width = static_cast<std::size_t>(columns_ - 1);
    // The block never reaches the screen's top row: a terminal may keep a screen erased from
    // its top-left corner in its scrollback (tmux does), a copy per redraw.
    const std::size_t most = rows_ > 2 ? static_cast<std::size_t>(rows_ - 2) : 1;
    for (std::size_t i = 0; i < lanes_.size() && i < most; ++i) {
        const std::string lane = cutToColumns(lanes_[i], width);
        std::fputs(lane.c_str(), stdout);
        std::fputc('\n', stdout);
        drawn_.push_back(visibleWidth(lane));
    }
    std::fflush(stdout);
    drawnAtRows_ = rows_;
    lastDraw_ = std::chrono::steady_clock::now();
}

void Terminal::drawLanes(const std::vector<std::string>& lanes, bool force) {
    std::lock_guard<std::mutex> lock(mutex_);
    lanes_ = lanes;
    if (!live_ || (!force && !drawn_.empty() &&
                   std::chrono::steady_clock::now() - lastDraw_ < kRedrawPeriod)) {
        return;
    }
    takeLanesDown();
    followSize();
    putLanesUp();
}

void Terminal::endLanes() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_ && !lanes_.empty()) {
        takeLanesDown();
        putLanesUp();
    }
    lanes_.clear();
    drawn_.clear();
}

void Terminal::bell() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_ && !settings_.quiet && !settings_.json) {
        std::fputc('\a', stdout);
        std::fflush(stdout);
    }
}

// The wait for the answer holds no lock: other threads' lines still go out meanwhile, and the
// lanes stay down until the answer is in, so nothing is drawn over the question.
bool Terminal::ask(const std::string& question, std::string& answer) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        takeLanesDown();
        asking_ = true;
        std::fprintf(stderr, "%s ", question.c_str());
        std::fflush(stderr);
    }
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, stdin) != nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!got) {
        std::fputc('\n', stderr);
    }
    answer = line;
    asking_ = false;
    putLanesUp();
    return got;
}

} // namespace pxr7
