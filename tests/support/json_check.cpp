#include "json_check.h"

#include <cctype>
#include <cstring>

namespace simrig {

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    bool object() {
        if (!take('{')) {
            return false;
        }
        if (take('}')) {
            return true;
        }
        do {
            if (!string() || !take(':') || !value()) {
                return false;
            }
        } while (take(','));
        return take('}');
    }

    bool atEnd() {
        space();
        return at_ == text_.size();
    }

private:
    void space() {
        while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr) {
            ++at_;
        }
    }
    bool take(char c) {
        space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(const char* literal) {
        space();
        const std::size_t length = std::strlen(literal);
        if (text_.compare(at_, length, literal) != 0) {
            return false;
        }
        at_ += length;
        return true;
    }
    bool string() {
        if (!take('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                if (at_ >= text_.size()) {
                    return false;
                }
                const char escaped = text_[at_++];
                if (escaped == 'u') {
                    for (int i = 0; i < 4; ++i) {
                        if (at_ >= text_.size() ||
                            std::isxdigit(static_cast<unsigned char>(text_[at_++])) == 0) {
                            return false;
                        }
                    }
                } else if (std::strchr("\"\\/bfnrt", escaped) == nullptr) {
                    return false;
                }
            }
        }
        return false;
    }
    bool number() {
        space();
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') {
            ++at_;
        }
        while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) != 0 ||
                                      std::strchr(".eE+-", text_[at_]) != nullptr)) {
            ++at_;
        }
        return at_ > start && std::isdigit(static_cast<unsigned char>(text_[at_ - 1])) != 0;
    }
    bool array() {
        if (!take('[')) {
            return false;
        }
        if (take(']')) {
            return true;
        }
        do {
            if (!value()) {
                return false;
            }
        } while (take(','));
        return take(']');
    }
    bool value() {
        space();
        if (at_ >= text_.size()) {
            return false;
        }
        switch (text_[at_]) {
        case '{':
            return object();
        case '[':
            return array();
        case '"':
            return string();
        case 't':
            return word("true");
        case 'f':
            return word("false");
        case 'n':
            return word("null");
        default:
            return number();
        }
    }

    const std::string& text_;
    std::size_t at_ = 0;
};

} // namespace

bool isJsonObject(const std::string& text) {
    Parser parser(text);
    return parser.object() && parser.atEnd();
}

} // namespace simrig
