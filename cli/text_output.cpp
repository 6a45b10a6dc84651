#include "text_output.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define PXR7_ISATTY _isatty
#define PXR7_FILENO _fileno
#else
#include <unistd.h>
#define PXR7_ISATTY isatty
#define PXR7_FILENO fileno
#endif

namespace pxr7 {

std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                // The meter's text is single-byte; keep every byte, readable by any parser.
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    out += "\"";
    return out;
}

bool stdoutIsTerminal() {
    return PXR7_ISATTY(PXR7_FILENO(stdout)) != 0;
}

bool stdinIsTerminal() {
    return PXR7_ISATTY(PXR7_FILENO(stdin)) != 0;
}

} // namespace pxr7
