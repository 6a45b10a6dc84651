#include "station_screen.h"

#include "terminal.h"

#include <algorithm>
#include <cstdio>

namespace pxr7 {

namespace {

constexpr std::size_t kLongestLabel = 24;
constexpr char kIndent[] = "    ";
const char kGap[] = "  ";

std::string coloured(const std::string& text, LaneTone tone, bool colour) {
    static const char* const kCodes[] = {"", "36", "32", "31", "33"};
    const char* code = kCodes[static_cast<int>(tone)];
    if (!colour || *code == '\0' || text.empty()) {
        return text;
    }
    return std::string("\x1b[") + code + "m" + text + "\x1b[0m";
}

std::string figure(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::vector<std::string> headerFields(const ScreenHeader& header) {
    const StationTotals& t = header.totals;
    return {"Station:",
            std::to_string(t.ok) + " ok",
            std::to_string(t.current) + " current",
            std::to_string(t.failed) + " failed",
            header.yield ? "yield " + figure("%.0f%%", *header.yield * 100) : "yield --",
            (header.metersPerHour ? figure("%.0f", *header.metersPerHour) : "--") + " meters/h",
            "firmware " + header.imageVersion};
}

// Fields joined into lines of at most room characters, never a field cut across two lines.
std::vector<std::string> fieldsIntoLines(const std::vector<std::string>& fields, std::size_t room) {
    std::vector<std::string> lines{""};
    for (const std::string& field : fields) {
        std::string& last = lines.back();
        if (!last.empty() && last.size() + 2 + field.size() > room) {
            lines.push_back(field);
        } else {
            last += (last.empty() ? "" : kGap) + field;
        }
    }
    for (std::string& line : lines) {
        line = cutToColumns(line, room);
    }
    return lines;
}

std::string firstRow(const LaneRow& lane, std::size_t labelWidth, std::size_t room, bool colour) {
    std::string label = cutToColumns(lane.label, labelWidth);
    label.resize(labelWidth, ' ');
    const std::size_t left = room > labelWidth + 1 ? room - labelWidth - 1 : 0;
    std::string state = lane.sending ? formatProgressLine(lane.progress, static_cast<int>(left) + 1)
                                     : cutToColumns(lane.state, left);
    return label + " " + coloured(state, lane.tone, colour);
}

std::vector<std::string> nextRows(const LaneRow& lane, std::size_t room) {
    std::string text = lane.counts;
    if (!lane.next.empty()) {
        text += (text.empty() ? "" : "; ") + lane.next;
    }
    std::vector<std::string> rows;
    if (text.empty() || room <= sizeof kIndent) {
        return rows;
    }
    for (const std::string& piece : wrapText(text, static_cast<int>(room - (sizeof kIndent - 1)))) {
        rows.push_back(kIndent + piece);
    }
    return rows;
}

std::size_t labelWidthFor(const std::vector<LaneRow>& lanes, std::size_t room) {
    std::size_t widest = 0;
    for (const LaneRow& lane : lanes) {
        widest = std::max(widest, visibleWidth(lane.label));
    }
    return std::min({widest, kLongestLabel, room / 2});
}

bool needsEye(const LaneRow& lane) {
    return lane.tone == LaneTone::Bad || lane.tone == LaneTone::Attention;
}

std::string summaryOf(const std::vector<LaneRow>& lanes, std::size_t from, std::size_t room) {
    int counts[5] = {};
    for (std::size_t i = from; i < lanes.size(); ++i) {
        ++counts[static_cast<int>(lanes[i].tone)];
    }
    static const char* const kWords[] = {"waiting", "working", "done", "failed", "need you"};
    std::vector<std::string> fields{"+" + std::to_string(lanes.size() - from) + " more lanes:"};
    for (int tone = 0; tone < 5; ++tone) {
        if (counts[tone] > 0) {
            fields.push_back(std::to_string(counts[tone]) + " " + kWords[tone]);
        }
    }
    std::string line;
    for (const std::string& field : fields) {
        line += (line.empty() ? "" : " ") + field;
    }
    return cutToColumns(line, room);
}

// The lanes' lines within rows: each lane with its next step if all fit; else next steps only
// where a lane needs someone, whole, then cut to one row; else one line a lane and a summary of
// those that do not fit.
std::vector<std::string> laneLines(const std::vector<LaneRow>& lanes, std::size_t room,
                                   std::size_t rows, bool colour) {
    const std::size_t labelWidth = labelWidthFor(lanes, room);
    struct Pass {
        bool everyLane;
        std::size_t mostNextRows;
    };
    for (const Pass pass : {Pass{true, 99}, Pass{false, 99}, Pass{false, 1}}) {
        std::vector<std::string> lines;
        for (const LaneRow& lane : lanes) {
            lines.push_back(firstRow(lane, labelWidth, room, colour));
            if (!pass.everyLane && !needsEye(lane)) {
                continue;
            }
            std::vector<std::string> next = nextRows(lane, room);
            next.resize(std::min(next.size(), pass.mostNextRows));
            lines.insert(lines.end(), next.begin(), next.end());
        }
        if (lines.size() <= rows) {
            return lines;
        }
    }
    std::vector<std::string> lines;
    const std::size_t shown = lanes.size() <= rows ? lanes.size() : rows - 1;
    for (std::size_t i = 0; i < shown && i < lanes.size(); ++i) {
        lines.push_back(firstRow(lanes[i], labelWidth, room, colour));
    }
    if (shown < lanes.size()) {
        lines.push_back(summaryOf(lanes, lines.size(), room));
    }
    return lines;
}

} // namespace

std::vector<std::string> composeStationScreen(const ScreenHeader& header,
                                              const std::vector<LaneRow>& lanes,
                                              const ScreenSize& size) {
    const std::size_t room = size.columns > 1 ? static_cast<std::size_t>(size.columns - 1) : 0;
    const std::size_t rows = size.rows > 1 ? static_cast<std::size_t>(size.rows - 1) : 1;
    std::vector<std::string> lines = fieldsIntoLines(headerFields(header), room);
    std::vector<std::string> below;
    if (!header.nextId.empty()) {
        below.push_back(header.nextId);
    }
    if (!header.typing.empty()) {
        below.push_back("Unit id: " + header.typing);
    }
    // The header keeps at least one row; the lines below it come next.
    const std::size_t headerRows = rows > below.size() ? rows - below.size() : std::size_t{1};
    if (!below.empty() || lines.size() >= rows) {
        lines.resize(std::min(lines.size(), below.empty() && rows > 1 ? rows - 1 : headerRows));
    }
    for (const std::string& line : below) {
        if (lines.size() < rows) {
            lines.push_back(cutToColumns(line, room));
        }
    }
    if (lanes.empty() || lines.size() >= rows) {
        return lines;
    }
    for (std::string& line : laneLines(lanes, room, rows - lines.size(), size.colour)) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string stationHeaderLine(const ScreenHeader& header) {
    const std::vector<std::string> fields = headerFields(header);
    std::string line = fields.front();
    for (std::size_t i = 1; i < fields.size(); ++i) {
        line += (i == 1 ? " " : i == fields.size() - 1 ? "; " : ", ") + fields[i];
    }
    return line;
}

} // namespace pxr7
