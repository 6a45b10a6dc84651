#include "record_json.h"

#include <cstdlib>

namespace pxr7 {

namespace {

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    void blanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\r' || text_[at_] == '\n')) {
            ++at_;
        }
    }
    bool take(char c) {
        blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool atEnd() {
        blanks();
        return at_ == text_.size();
    }
    bool string(std::string& out);
    bool value(FlatValue& out);

private:
    bool escape(std::string& out);

    const std::string& text_;
    std::size_t at_ = 0;
};

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool Reader::escape(std::string& out) {
    if (at_ >= text_.size()) {
        return false;
    }
    const char c = text_[at_++];
    static const std::string plain = "\"\\/bfnrt";
    static const std::string meant = "\"\\/\b\f\n\r\t";
    const std::size_t which = plain.find(c);
    if (which != std::string::npos) {
        out.push_back(meant[which]);
        return true;
    }
    if (c != 'u' || at_ + 4 > text_.size()) {
        return false;
    }
    const std::string hex = text_.substr(at_, 4);
    char* end = nullptr;
    const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
    if (end != hex.c_str() + 4) {
        return false;
    }
    at_ += 4;
    // The record writes every byte outside printable ASCII as \u00XX: the byte itself again.
    if (code < 0x100) {
        out.push_back(static_cast<char>(code));
    } else {
        appendUtf8(out, static_cast<unsigned>(code));
    }
    return true;
}

bool Reader::string(std::string& out) {
    if (!take('"')) {
        return false;
    }
    out.clear();
    while (at_ < text_.size()) {
        const char c = text_[at_++];
        if (c == '"') {
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20 || (c == '\\' && !escape(out))) {
            return false;
        }
        if (c != '\\') {
            out.push_back(c);
        }
    }
    return false;
}

bool Reader::value(FlatValue& out) {
    blanks();
    if (at_ < text_.size() && text_[at_] == '"') {
        out.kind = FlatValue::Kind::String;
        return string(out.text);
    }
    static const std::string bare = "+-.0123456789eEtruefalsn";
    const std::size_t start = at_;
    while (at_ < text_.size() && bare.find(text_[at_]) != std::string::npos) {
        ++at_;
    }
    out.text = text_.substr(start, at_ - start);
    if (out.text == "true" || out.text == "false" || out.text == "null") {
        out.kind = FlatValue::Kind::Literal;
        return true;
    }
    char* end = nullptr;
    std::strtod(out.text.c_str(), &end);
    out.kind = FlatValue::Kind::Number;
    return !out.text.empty() && end == out.text.c_str() + out.text.size();
}

} // namespace

bool parseFlatObject(const std::string& line, FlatObject& object) {
    Reader reader(line);
    object.clear();
    if (!reader.take('{')) {
        return false;
    }
    if (reader.take('}')) {
        return reader.atEnd();
    }
    do {
        std::string key;
        FlatValue value;
        if (!reader.string(key) || !reader.take(':') || !reader.value(value)) {
            return false;
        }
        object[key] = value;
    } while (reader.take(','));
    return reader.take('}') && reader.atEnd();
}

namespace {

std::string text(const FlatObject& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->second.kind == FlatValue::Kind::String
               ? found->second.text
               : "";
}

double number(const FlatObject& object, const char* key, double otherwise) {
    const auto found = object.find(key);
    if (found == object.end() || found->second.kind != FlatValue::Kind::Number) {
        return otherwise;
    }
    const double value = std::strtod(found->second.text.c_str(), nullptr);
    // Counts are kept within an int; anything wilder is not a count.
    return value > -1e9 && value < 1e9 ? value : otherwise;
}

} // namespace

bool parseRecordLine(const std::string& line, RecordEntry& entry, std::string& host) {
    FlatObject object;
    if (!parseFlatObject(line, object) || number(object, "schema", 0) != 1 ||
        text(object, "result").empty()) {
        return false;
    }
    entry.command = text(object, "command");
    entry.started = text(object, "started");
    entry.finished = text(object, "finished");
    host = text(object, "host");
    entry.leadSerial = text(object, "lead_serial");
    entry.leadIndex = static_cast<int>(number(object, "lead_index", -1));
    entry.leadLocation = text(object, "lead_location");
    entry.laneName = text(object, "lane_name");
    entry.unitId = text(object, "unit_id");
    entry.result = text(object, "result");
    entry.versionBefore = text(object, "version_before");
    entry.versionAfter = text(object, "version_after");
    entry.attempts = static_cast<int>(number(object, "attempts", 1));
    entry.recordsSent = static_cast<std::int32_t>(number(object, "records_sent", 0));
    entry.recordsTotal = static_cast<std::int32_t>(number(object, "records_total", 0));
    entry.seconds = number(object, "duration_s", 0);
    return true;
}

} // namespace pxr7
