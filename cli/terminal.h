// The one owner of the terminal. Every line a person sees goes through here: messages,
// warnings, questions, the call trace, the progress lanes and the summary. It knows what is
// drawn, so a line printed while lanes are shown appears above them and stays, a lane never
// wraps, and nothing lands inside a redrawn line. Lines from several threads never mix.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pxr7 {

enum class LineKind {
    Info,   // what a step did; stdout; not with --quiet or --json
    Detail, // more about each step; stderr, only with --verbose
    Warning,
    Error,  // stderr, always
    Result, // the outcome a person ran the command for; stdout; not with --json
    Trace,  // one bridge call; stderr, only with --trace
    Json,   // one JSON object; stdout, always
};

struct TerminalSettings {
    bool json = false, quiet = false, verbose = false, trace = false;
};

class Terminal {
public:
    // Looks at standard output once: whether lanes can be redrawn in place there, and its width.
    void configure(const TerminalSettings& settings);
    const TerminalSettings& settings() const { return settings_; }

    // One line (or several, split at '\n'). On a terminal the text is wrapped at blanks to the
    // width, so no line wraps by itself; lanes drawn below are redrawn after it.
    void line(LineKind kind, const std::string& text);

    // Whether lanes are redrawn in place (a terminal that takes escape sequences, wide enough);
    // otherwise the caller prints plain lines for its events.
    bool live() const { return live_; }
    // Columns a lane may use: the width less one, so the cursor never wraps. Both follow the
    // terminal's size as it changes.
    int laneWidth() const { return columns_ - 1; }
    // Rows of the terminal (0 when it does not say): the block never takes more than all but
    // two of them, so no redraw leaves a copy of it above the screen.
    int rows() const { return rows_; }
    // Shows lines as the live block at the bottom, each cut to the width. A redraw that is not
    // forced is skipped within 40 ms of the last one, so a fast transfer costs no time here.
    void drawLanes(const std::vector<std::string>& lanes, bool force);
    // Leaves the block's last state in the scrollback and draws it no more.
    void endLanes();
    // The terminal's bell, to call someone to the bench: only on a live terminal, never with
    // --quiet or --json.
    void bell();

    // From startWriter to stopWriter, lines are written by a thread of their own, in the order
    // they came: the thread that makes one (a transfer's callback) never waits for a terminal
    // or pipe slow to take them. stopWriter writes what is queued first.
    void startWriter();
    void stopWriter();

    // Asks on the terminal side (stderr, never stdout) and reads a line from standard input.
    // False at the end of input.
    bool ask(const std::string& question, std::string& answer);

private:
    void takeLanesDown();
    void putLanesUp();
    void writeLines(std::FILE* stream, const std::string& text);
    void followSize();
    void writeNow(LineKind kind, const std::string& text);
    void writeQueued();

    TerminalSettings settings_;
    std::mutex mutex_;
    bool live_ = false;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<std::string> lanes_;
    // The block's lines on the screen now, by their width: a terminal made narrower since
    // wraps each one longer than its new width onto more rows.
    std::vector<std::size_t> drawn_;
    int drawnAtRows_ = 0; // the terminal's rows when the block was drawn
    bool asking_ = false; // a question waits for its answer: the lanes stay down

    // The writer's queue, under its own lock so a line is queued while the terminal writes.
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::pair<LineKind, std::string>> queue_;
    bool writerOn_ = false;
    std::thread writer_;

    std::chrono::steady_clock::time_point lastDraw_{};
};

// The program's one terminal.
Terminal& terminal();

// Columns a line takes on the screen: its characters less its colour sequences.
std::size_t visibleWidth(const std::string& line);
// line cut to at most columns visible characters; colour reset after a cut inside colour.
std::string cutToColumns(const std::string& line, std::size_t columns);

// text cut into lines of at most width characters, at blanks where it can.
std::vector<std::string> wrapText(const std::string& text, int width);

} // namespace pxr7
