#include "password_mask.h"

#include <algorithm>
#include <cctype>

namespace pxr7 {

namespace {

constexpr char kMask[] = "***";
constexpr std::size_t kShortest = 4; // masked outside quotes from this length on
// What ends a URL's token in a message, and what ends a keyword's name or bare value.
constexpr char kTokenEnd[] = " \t\r\n\"'";
constexpr char kValueEnd[] = "& \t\r\n\"";
// The characters that end a URI's components: libpq may quote the piece of a password between them.
constexpr char kPieceEnd[] = "/?#@:&";

struct Span {
    std::size_t begin, end;
};

int hexValue(char c) {
    return std::isxdigit(static_cast<unsigned char>(c))
               ? (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10)
               : -1;
}

// Percent-decoded, leaving an escape that is not one as it stands.
std::string decoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool isPasswordKey(const std::string& key) {
    std::string name = decoded(key);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name == "password";
}

// user:password@ of every URI in text: to the last "@" of its token, so that a password with
// "@", "/" or "?" in it is masked whole.
void userinfoSpans(const std::string& text, std::vector<Span>& spans) {
    for (std::size_t scheme = text.find("://"); scheme != std::string::npos;
         scheme = text.find("://", scheme + 3)) {
        const std::size_t start = scheme + 3;
        const std::size_t end = std::min(text.find_first_of(kTokenEnd, start), text.size());
        const std::size_t at = end > start ? text.rfind('@', end - 1) : std::string::npos;
        const std::size_t colon = text.find(':', start);
        if (at != std::string::npos && at >= start && colon < at) {
            spans.push_back({colon + 1, at});
        }
    }
}

// The value after "=" (and blanks) at i: quoted as key=value strings allow, or bare.
Span valueAt(const std::string& text, std::size_t i) {
    if (i < text.size() && text[i] == '\'') {
        std::size_t end = i + 1;
        while (end < text.size() && text[end] != '\'') {
            end += text[end] == '\\' ? 2 : 1;
        }
        return {i + 1, std::min(end, text.size())};
    }
    return {i, std::min(text.find_first_of(kValueEnd, i), text.size())};
}

// The value of every password keyword in text, in a URI query or a key=value string.
void keywordSpans(const std::string& text, std::vector<Span>& spans) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool starts =
            i == 0 || std::string("?& \t\r\n\"'(").find(text[i - 1]) != std::string::npos;
        const std::size_t keyEnd = starts ? text.find_first_of("=&? \t\r\n\"'", i) : i;
        if (keyEnd == i || keyEnd == std::string::npos ||
            !isPasswordKey(text.substr(i, keyEnd - i))) {
            continue;
        }
        std::size_t equals = text.find_first_not_of(" \t", keyEnd);
        if (equals == std::string::npos || text[equals] != '=') {
            continue;
        }
        const std::size_t value = std::min(text.find_first_not_of(" \t", equals + 1), text.size());
        spans.push_back(valueAt(text, value));
        i = spans.back().end;
    }
}

// Every password text spells out, overlapping ones merged, the last first.
std::vector<Span> spansIn(const std::string& text) {
    std::vector<Span> spans, merged;
    userinfoSpans(text, spans);
    keywordSpans(text, spans);
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    for (const Span& span : spans) {
        if (!merged.empty() && span.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, span.end);
        } else {
            merged.push_back(span);
        }
    }
    std::reverse(merged.begin(), merged.end());
    return merged;
}

// Each password as written, decoded and unescaped, and its pieces.
std::vector<std::string> secretsOf(const std::string& url, const std::vector<std::string>& known) {
    std::vector<std::string> secrets(known);
    for (const Span& span : spansIn(url)) {
        const std::string raw = url.substr(span.begin, span.end - span.begin);
        std::string unescaped;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            unescaped += raw[i] == '\\' && i + 1 < raw.size() ? raw[++i] : raw[i];
        }
        secrets.insert(secrets.end(), {raw, decoded(raw), unescaped});
        for (std::size_t start = 0; start < raw.size();) {
            const std::size_t end = std::min(raw.find_first_of(kPieceEnd, start), raw.size());
            secrets.push_back(raw.substr(start, end - start));
            start = end + 1;
        }
    }
    secrets.erase(std::remove(secrets.begin(), secrets.end(), std::string()), secrets.end());
    // The longest first, so that a piece never leaves the rest of its password behind.
    std::sort(secrets.begin(), secrets.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return secrets;
}

void replaceAll(std::string& text, std::size_t from, std::size_t to, const std::string& secret) {
    for (std::size_t at = text.find(secret, from); at != std::string::npos && at < to;
         at = text.find(secret, at + sizeof kMask - 1)) {
        if (at + secret.size() > to) {
            break;
        }
        text.replace(at, secret.size(), kMask);
        to = to - secret.size() + (sizeof kMask - 1);
    }
}

// Masks secret inside every double-quoted stretch of text.
void replaceQuoted(std::string& text, const std::string& secret) {
    for (std::size_t open = text.find('"'); open != std::string::npos;) {
        const std::size_t close = text.find('"', open + 1);
        if (close == std::string::npos) {
            return;
        }
        const std::size_t before = text.size();
        replaceAll(text, open + 1, close, secret);
        const std::size_t shiftedClose = close + text.size() - before; // modulo, as size_t is
        open = text.find('"', shiftedClose + 1);
    }
}

} // namespace

std::string withoutPasswords(const std::string& text, const std::string& url,
                             const std::vector<std::string>& known) {
    std::string shown = text;
    for (const Span& span : spansIn(shown)) {
        shown.replace(span.begin, span.end - span.begin, kMask);
    }
    for (const std::string& secret : secretsOf(url, known)) {
        if (secret.size() >= kShortest) {
            replaceAll(shown, 0, shown.size(), secret);
        } else if (secret != kMask) {
            replaceQuoted(shown, secret);
        }
    }
    return shown;
}

} // namespace pxr7
