#include "station_screen.h"

#include "terminal.h"

#include <algorithm>
#include <cstdio>

namespace pxr7 {

namespace {

constexpr std::size_t kLongestLabel = 24;
const char kNoLeadHint[] = "No meter lead yet: plug in a meter lead (and the meter lead's own USB "
                           "plug); pxr7 list shows what is there.";
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

// A failed lane's row in white on red across the whole width, so it is seen from across the
// bench; other rows as they are.
std::string alarmed(const std::string& row, const LaneRow& lane, std::size_t room, bool colour) {
    if (!colour || lane.tone != LaneTone::Bad) {
        return row;
    }
    std::string plain = row;
    const std::size_t width = visibleWidth(plain);
    if (width < room) {
        plain.append(room - width, ' ');
    }
    return "\x1b[97;41m" + plain + "\x1b[0m";
}

// The lane's label and state on one row, label padded to its column.
std::string sideBySide(const LaneRow& lane, std::size_t labelWidth, std::size_t room, bool colour) {
    std::string label = lane.label;
    label.resize(labelWidth + (label.size() - visibleWidth(label)), ' ');
    const std::size_t left = room > labelWidth + 1 ? room - labelWidth - 1 : 0;
    std::string state =
        lane.sending ? formatProgressLine(lane.progress, static_cast<int>(left) + 1) : lane.state;
    if (colour && lane.tone == LaneTone::Bad) {
        return alarmed(label + " " + state, lane, room, colour);
    }
    return label + " " + coloured(state, lane.tone, colour);
}

// The label and the state, whole: side by side where both fit, else the label on rows of its
// own and the state below it, indented.
std::vector<std::string> headRows(LaneRow lane, std::size_t labelWidth, std::size_t room,
                                  bool colour, bool cutLabel) {
    const std::size_t left = room > labelWidth + 1 ? room - labelWidth - 1 : 0;
    if (cutLabel) {
        lane.label = cutToColumns(lane.label, labelWidth);
    }
    if (visibleWidth(lane.label) <= labelWidth &&
        (lane.sending || visibleWidth(lane.state) <= left)) {
        return {sideBySide(lane, labelWidth, room, colour)};
    }
    std::vector<std::string> rows;
    for (const std::string& piece : wrapText(lane.label, static_cast<int>(room))) {
        rows.push_back(alarmed(piece, lane, room, colour));
    }
    const std::size_t indent = sizeof kIndent - 1;
    const int stateRoom = static_cast<int>(room > indent ? room - indent : 1);
    if (lane.sending) {
        rows.push_back(kIndent + coloured(formatProgressLine(lane.progress, stateRoom + 1),
                                          lane.tone, colour));
        return rows;
    }
    for (const std::string& piece : wrapText(lane.state, stateRoom)) {
        rows.push_back(lane.tone == LaneTone::Bad ? alarmed(kIndent + piece, lane, room, colour)
                                                  : kIndent + coloured(piece, lane.tone, colour));
    }
    return rows;
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
    return std::min({widest, std::max(kLongestLabel, room / 3), room / 2});
}

bool needsEye(const LaneRow& lane) {
    return lane.tone == LaneTone::Bad || lane.tone == LaneTone::Attention;
}

std::string summaryOf(const std::vector<const LaneRow*>& folded, std::size_t room) {
    int counts[5] = {};
    for (const LaneRow* lane : folded) {
        ++counts[static_cast<int>(lane->tone)];
    }
    static const char* const kWords[] = {"waiting", "working", "done", "failed", "need you"};
    std::vector<std::string> fields{"+" + std::to_string(folded.size()) + " more lanes:"};
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

struct LaneLayout {
    std::size_t labelWidth, room;
    bool colour;
    bool cutLabels = false;  // rows are short: a long label is cut rather than given rows
    bool briefSteps = false; // shorter still: lanes that need someone say their step briefly
};

// A lane's first row and, with next, the rows of its next step.
std::vector<std::string> rowsOf(const LaneRow& lane, const LaneLayout& layout, bool next) {
    std::vector<std::string> rows =
        headRows(lane, layout.labelWidth, layout.room, layout.colour, layout.cutLabels);
    if (next) {
        const std::vector<std::string> more = nextRows(lane, layout.room);
        rows.insert(rows.end(), more.begin(), more.end());
    }
    return rows;
}

// A lane that needs someone in as few rows as it takes: its next step beside its state when
// both fit on the first row.
std::vector<std::string> compactRows(const LaneRow& given, const LaneLayout& layout) {
    LaneRow lane = given;
    if (layout.briefSteps && !lane.brief.empty()) {
        lane.next = lane.brief;
    }
    const std::string next = nextRows(lane, layout.room).empty() ? "" : lane.next;
    const std::size_t left =
        layout.room > layout.labelWidth + 1 ? layout.room - layout.labelWidth - 1 : 0;
    if (!lane.sending && lane.counts.empty() && !next.empty() &&
        (layout.cutLabels || visibleWidth(lane.label) <= layout.labelWidth) &&
        visibleWidth(lane.state) + 3 + visibleWidth(next) <= left) {
        LaneRow joined = lane;
        joined.state = lane.state + " - " + next;
        joined.label = cutToColumns(lane.label, layout.labelWidth);
        return {sideBySide(joined, layout.labelWidth, layout.room, layout.colour)};
    }
    return rowsOf(lane, layout, true);
}

// Every lane in its order: each with its next step, or only those that need someone with
// theirs; empty when even that does not fit.
std::vector<std::string> everyLane(const std::vector<LaneRow>& lanes, const LaneLayout& layout,
                                   std::size_t rows) {
    for (const bool everyNext : {true, false}) {
        std::vector<std::string> lines;
        for (const LaneRow& lane : lanes) {
            const std::vector<std::string> own = rowsOf(lane, layout, everyNext || needsEye(lane));
            lines.insert(lines.end(), own.begin(), own.end());
        }
        if (lines.size() <= rows) {
            return lines;
        }
    }
    return {};
}

// Too many lanes for the rows: those that need someone first, each with its whole next step
// while the rows last; then the others' first rows; then one line for the lanes left out.
std::vector<std::string> needsFirst(const std::vector<LaneRow>& lanes, const LaneLayout& layout,
                                    std::size_t rows, int& needyCut) {
    std::vector<const LaneRow*> order, folded;
    for (const bool needy : {true, false}) {
        for (const LaneRow& lane : lanes) {
            if (needsEye(lane) == needy) {
                order.push_back(&lane);
            }
        }
    }
    int needyWhole = 0;
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const bool needy = needsEye(*order[i]);
        std::vector<std::string> own =
            needy ? compactRows(*order[i], layout) : rowsOf(*order[i], layout, false);
        const std::size_t whole = own.size();
        // A lane that is fine leaves a row for the line that counts those after it.
        const std::size_t reserve = !needy && i + 1 < order.size() ? 1 : 0;
        if (lines.size() + own.size() + reserve > rows) {
            own.resize(lines.empty() || needy ? std::min(own.size(), rows - lines.size()) : 0);
        }
        if (own.empty() || (!needy && lines.size() + own.size() + reserve > rows)) {
            folded.assign(order.begin() + static_cast<std::ptrdiff_t>(i), order.end());
            break;
        }
        needyWhole += needy && own.size() == whole ? 1 : 0;
        lines.insert(lines.end(), own.begin(), own.end());
    }
    if (!folded.empty() && lines.size() < rows) {
        lines.push_back(summaryOf(folded, layout.room));
    }
    needyCut = static_cast<int>(std::count_if(lanes.begin(), lanes.end(), needsEye)) - needyWhole;
    return lines;
}

// The lanes' lines within rows; empty rows: nothing.
std::vector<std::string> laneLines(const std::vector<LaneRow>& lanes, std::size_t room,
                                   std::size_t rows, bool colour) {
    const LaneLayout whole{labelWidthFor(lanes, room), room, colour, false};
    const LaneLayout cut{whole.labelWidth, room, colour, true};
    for (const LaneLayout& layout : {whole, cut}) {
        std::vector<std::string> lines = everyLane(lanes, layout, rows);
        if (!lines.empty()) {
            return lines;
        }
    }
    // Labels give way before a lane that needs someone loses its next step, and the long
    // words of a step before the lane itself.
    int leastCut = 0;
    std::vector<std::string> lines = needsFirst(lanes, whole, rows, leastCut);
    for (const LaneLayout& layout : {cut, LaneLayout{whole.labelWidth, room, colour, false, true},
                                     LaneLayout{whole.labelWidth, room, colour, true, true}}) {
        if (leastCut == 0) {
            break;
        }
        int needyCut = 0;
        std::vector<std::string> shorter = needsFirst(lanes, layout, rows, needyCut);
        if (needyCut < leastCut) {
            leastCut = needyCut;
            lines = std::move(shorter);
        }
    }
    return lines;
}

bool lanesFitWhole(const std::vector<LaneRow>& lanes, std::size_t room, std::size_t rows) {
    return !everyLane(lanes, LaneLayout{labelWidthFor(lanes, room), room, false, true}, rows)
                .empty();
}

} // namespace

std::vector<std::string> composeStationScreen(const ScreenHeader& header,
                                              const std::vector<LaneRow>& lanes,
                                              const ScreenSize& size) {
    const std::size_t room = size.columns > 1 ? static_cast<std::size_t>(size.columns - 1) : 0;
    const std::size_t rows = size.rows > 1 ? static_cast<std::size_t>(size.rows - 1) : 1;
    std::vector<std::string> lines = fieldsIntoLines(headerFields(header), room);
    // The header's other lines give way to lanes that would not fit whole beside them.
    const std::size_t extra = (header.nextId.empty() ? 0 : 1) + (header.typing.empty() ? 0 : 1);
    if (lines.size() > 1 && !lanes.empty() &&
        !lanesFitWhole(lanes, room,
                       rows > lines.size() + extra ? rows - lines.size() - extra : 0)) {
        lines.resize(1);
    }
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
    if (lanes.empty()) {
        for (const std::string& piece : wrapText(kNoLeadHint, static_cast<int>(room))) {
            if (lines.size() < rows) {
                lines.push_back(piece);
            }
        }
        return lines;
    }
    if (lines.size() >= rows) {
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
