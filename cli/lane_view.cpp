#include "lane_view.h"

#include "exit_codes.h"
#include "json_writer.h"
#include "messages.h"
#include "outcome_messages.h"
#include "printable.h"
#include "progress_line.h"
#include "terminal.h"
#include "upgrade_outcomes.h"

namespace pxr7 {

class LaneView::Lane : public LaneObserver {
public:
    Lane(LaneView& view, std::size_t i) : view_(view), i_(i) {}
    void phase(Phase phase) override { view_.phaseChanged(i_, phase); }
    void progress(std::int32_t done, std::int32_t total) override {
        view_.progressed(i_, done, total);
    }
    void transferEnded(const UpgradeOutcome& outcome) override { view_.transferEnded(i_, outcome); }

private:
    LaneView& view_;
    std::size_t i_;
};

LaneView::LaneView(const std::vector<BridgeReport>& leads, bool tagged) : tagged_(tagged) {
    for (std::size_t i = 0; i < leads.size(); ++i) {
        State state;
        state.serial = leads[i].identity.serialNumber;
        states_.push_back(state);
        lanes_.push_back(std::make_unique<Lane>(*this, i));
    }
}

LaneView::~LaneView() = default;

LaneObserver& LaneView::lane(std::size_t i) {
    return *lanes_[i];
}

void LaneView::phaseChanged(std::size_t i, Phase phase) {
    std::lock_guard<std::mutex> lock(mutex_);
    State& state = states_[i];
    state.phase = phase;
    state.tenth = -1;
    if (phase == Phase::Sending) {
        state.sendingSince = std::chrono::steady_clock::now();
    }
    if (terminal().settings().json) {
        jsonEvent(state, "phase", phase);
    } else if (terminal().live()) {
        redraw(true);
    } else {
        plainLine(state, phaseLabel(phase));
    }
}

void LaneView::progressed(std::size_t i, std::int32_t done, std::int32_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    State& state = states_[i];
    if (state.done == done && state.total == total) {
        return;
    }
    state.done = done;
    state.total = total;
    if (terminal().settings().json) {
        JsonObject event;
        event.add("event", "progress");
        if (tagged_) {
            event.add("serial", state.serial);
        }
        event.add("records", static_cast<long long>(done))
            .add("total", static_cast<long long>(total));
        event.print();
        return;
    }
    if (terminal().live()) {
        redraw(false);
        return;
    }
    const int tenth = total > 0 ? static_cast<int>(done * 10LL / total) : 10;
    if (tenth != state.tenth) {
        state.tenth = tenth;
        plainLine(state, "Sent " + std::to_string(done) + " of " + std::to_string(total) +
                             " records (" + std::to_string(tenth * 10) + "%)");
    }
}

void LaneView::transferEnded(std::size_t i, const UpgradeOutcome& outcome) {
    (void)i;
    // Several meters end in a summary; one meter gets its message as the Windows program
    // would show it.
    const OutcomeMessage shown = outcomeMessageFor(outcome.result);
    // A transfer that stopped part-way gets no box's words: the diagnosis says where it
    // stopped.
    if (!tagged_ && shown.index >= 0 && outcomeOfUpgrade(outcome) != Outcome::TransferStopped) {
        printMessage(shown.index, shown.kind);
    }
}

void LaneView::laneDone(std::size_t i, const MeterRun& run) {
    std::lock_guard<std::mutex> lock(mutex_);
    State& state = states_[i];
    state.outcome = resultWord(run);
    if (!terminal().settings().json && terminal().live()) {
        redraw(true);
    } else if (!terminal().settings().json && tagged_) {
        plainLine(state, state.outcome);
    }
}

std::string LaneView::laneText(const State& state, int width) const {
    std::string prefix = tagged_ ? printable(state.serial) + " " : "";
    if (prefix.size() > 17) {
        prefix = prefix.substr(0, 16) + " ";
    }
    const int room = width - static_cast<int>(prefix.size());
    if (!state.outcome.empty()) {
        return prefix + state.outcome;
    }
    ProgressFigures figures;
    figures.phase = state.phase;
    figures.done = state.done;
    figures.total = state.total;
    figures.secondsSending =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - state.sendingSince)
            .count();
    return prefix + formatProgressLine(figures, room + 1);
}

void LaneView::redraw(bool force) {
    std::vector<std::string> lines;
    for (const State& state : states_) {
        lines.push_back(laneText(state, terminal().laneWidth()));
    }
    terminal().drawLanes(lines, force);
}

void LaneView::plainLine(const State& state, const std::string& text) {
    terminal().line(LineKind::Info, tagged_ ? printable(state.serial) + ": " + text : text);
}

void LaneView::jsonEvent(const State& state, const char* event, Phase phase) {
    JsonObject object;
    object.add("event", event).add("phase", phaseCode(phase));
    if (tagged_) {
        object.add("serial", state.serial);
    }
    object.print();
}

void LaneView::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (terminal().live()) {
            redraw(true);
        }
    }
    terminal().endLanes();
}

} // namespace pxr7
