#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace pxr7 {

namespace {

constexpr int kShortestBar = 8;
constexpr int kLongestBar = 40;
const char kGap[] = "  ";

std::string joined(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& field : fields) {
        line += line.empty() ? field : kGap + field;
    }
    return line;
}

std::string bar(std::int32_t done, std::int32_t total, int width) {
    const int inner = width - 2;
    const int filled =
        total > 0 ? static_cast<int>(done * static_cast<long long>(inner) / total) : inner;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(inner - filled), '-') + "]";
}

std::string sendingWord(const ProgressFigures& f) {
    return f.attempt > 1 ? "Sending (attempt " + std::to_string(f.attempt) + ")" : "Sending";
}

// The fields of the sending line, most useful first; fixed widths keep the line from jittering.
std::vector<std::string> sendingFields(const ProgressFigures& f) {
    const int digits = static_cast<int>(std::to_string(f.total).size());
    const int percent = f.total > 0 ? static_cast<int>(f.done * 100LL / f.total) : 100;
    const bool measured = f.done > 0 && f.secondsSending > 0;
    const double rate = measured ? f.done / f.secondsSending : 0;
    char count[32];
    std::snprintf(count, sizeof count, "%*d/%d", digits, static_cast<int>(f.done),
                  static_cast<int>(f.total));
    char percentText[8];
    std::snprintf(percentText, sizeof percentText, "%3d%%", percent);
    char rateText[32] = " -- records/s";
    if (measured) {
        std::snprintf(rateText, sizeof rateText, "%3.0f records/s", rate);
    }
    std::string left = (measured ? formatDuration((f.total - f.done) / rate) : "-:--") + " left";
    if (f.secondsQuiet >= kQuietShownAfter) {
        left = "quiet " + formatDuration(f.secondsQuiet);
    }
    return {sendingWord(f), count, percentText, left, rateText};
}

std::string sendingLine(const ProgressFigures& figures, std::size_t room) {
    if (figures.total <= 0) {
        return sendingWord(figures) + ": starting";
    }
    std::vector<std::string> fields = sendingFields(figures);
    // Too wide: the bar goes first, then the rate, then the time left.
    const std::size_t allFields = fields.size();
    while (fields.size() > 3 && joined(fields).size() > room) {
        fields.pop_back();
    }
    std::string line = joined(fields);
    if (fields.size() < allFields) {
        return line;
    }
    const std::size_t used = line.size() + sizeof kGap - 1;
    const std::size_t barRoom = room > used ? room - used : 0;
    if (barRoom >= static_cast<std::size_t>(kShortestBar)) {
        const int width = static_cast<int>(std::min<std::size_t>(barRoom, kLongestBar));
        line += kGap + bar(figures.done, figures.total, width);
    }
    return line;
}

} // namespace

std::string formatProgressLine(const ProgressFigures& figures, int columns) {
    const std::size_t room = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
    std::string line = figures.phase == Phase::Sending ? sendingLine(figures, room)
                                                       : std::string(phaseLabel(figures.phase));
    if (line.size() > room) {
        line.resize(room);
    }
    return line;
}

std::string formatDuration(double seconds) {
    // Past 99 hours the estimate means nothing; the bound also keeps the text short.
    constexpr double kLongest = 99 * 3600 + 59 * 60 + 59;
    if (!(seconds > 0)) {
        seconds = 0;
    } else if (seconds > kLongest) {
        seconds = kLongest;
    }
    const int whole = static_cast<int>(seconds + 0.5);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
    return text;
}

} // namespace pxr7
