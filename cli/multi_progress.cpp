#include "multi_progress.h"

#include "json_writer.h"
#include "text_output.h"

#include <cstdio>

namespace pxr7 {

class MultiProgress::Lane : public ProgressSink {
public:
    Lane(MultiProgress& owner, std::size_t index) : owner_(owner), index_(index) {}
    void phase(Phase p) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        State& state = owner_.states_[index_];
        if (state.phase != p) {
            state.phase = p;
            owner_.changed(index_, true);
        }
    }
    void update(bool active, std::int32_t done, std::int32_t recordCount) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        State& state = owner_.states_[index_];
        if (!active || (state.done == done && state.total == recordCount)) {
            return;
        }
        state.done = done;
        state.total = recordCount;
        owner_.changed(index_, false);
    }
    void finishLine() override {}

private:
    MultiProgress& owner_;
    std::size_t index_;
};

MultiProgress::MultiProgress(MultiStyle style, const std::vector<std::string>& serials)
    : style_(style) {
    for (std::size_t i = 0; i < serials.size(); ++i) {
        State state;
        state.serial = serials[i];
        states_.push_back(state);
        lanes_.push_back(std::make_unique<Lane>(*this, i));
    }
}

MultiProgress::~MultiProgress() = default;

ProgressSink& MultiProgress::lane(std::size_t index) {
    return *lanes_[index];
}

// Called with the lock held.
void MultiProgress::changed(std::size_t index, bool phaseChanged) {
    State& state = states_[index];
    switch (style_) {
    case MultiStyle::TerminalLines:
        redraw();
        return;
    case MultiStyle::JsonEvents:
        if (!phaseChanged) {
            JsonObject()
                .add("event", "progress")
                .add("serial", state.serial)
                .add("records", static_cast<long long>(state.done))
                .add("total", static_cast<long long>(state.total))
                .print();
        }
        return;
    case MultiStyle::PlainLines: {
        const int tenth = state.total > 0 ? static_cast<int>(state.done * 10LL / state.total) : 10;
        if (phaseChanged) {
            std::printf("%s: %s\n", printable(state.serial).c_str(), phaseLabel(state.phase));
        } else if (tenth != state.tenth) {
            state.tenth = tenth;
            std::printf("%s: %d of %d records\n", printable(state.serial).c_str(), state.done,
                        state.total);
        }
        std::fflush(stdout);
        return;
    }
    }
}

void MultiProgress::redraw() {
    if (drawn_) {
        std::printf("\x1b[%zuA", states_.size()); // back to the first line
    }
    for (const State& state : states_) {
        const int percent =
            state.total > 0 ? static_cast<int>(state.done * 100LL / state.total) : 0;
        std::printf("\r\x1b[K%-16s %-26s %4d/%-4d %3d%%\n", printable(state.serial).c_str(),
                    phaseLabel(state.phase), state.done, state.total, percent);
    }
    std::fflush(stdout);
    drawn_ = true;
}

void MultiProgress::finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (style_ == MultiStyle::TerminalLines) {
        redraw();
    }
}

} // namespace pxr7
