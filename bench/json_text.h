// JSON through nlohmann-json, with this program's rule for texts (docs/json.md): a meter's or
// a bridge's text is bytes, so each byte is kept as the character of its value (U+0000 to
// U+00FF); a name people type (bench, lane and operator names, unit ids) is UTF-8 and kept as
// its characters. Lines are written escaped outside printable ASCII, so whatever the bytes a
// line is valid JSON on one line, and nothing here throws: the library's parser runs without
// exceptions.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace pxr7 {

// Objects keep their keys in the order they were added.
using JsonValue = nlohmann::ordered_json;

// Nesting deeper than this is refused before it is parsed: no record line comes near it.
constexpr int kMaxJsonDepth = 64;

// The bytes as a JSON string value.
JsonValue jsonText(const std::string& bytes);
// null for an empty text (an absent value), else jsonText(bytes).
JsonValue jsonTextOrNull(const std::string& bytes);
// A string value back as the bytes jsonText took: characters up to U+00FF as their byte, others
// as UTF-8; "" for a value that is not a string.
std::string textOf(const JsonValue& value);

// A name as a JSON string value: its characters when it is UTF-8, else as jsonText.
JsonValue jsonName(const std::string& name);
// null for an empty name, else jsonName(name).
JsonValue jsonNameOrNull(const std::string& name);
// A string value back as the UTF-8 name jsonName took; "" for a value that is not a string.
// Lines written before names were kept as UTF-8 hold a name's bytes one per character: such
// a value (every character up to U+00FF, and their bytes well-formed UTF-8) is read as the
// name those bytes spell.
std::string nameOf(const JsonValue& value);

// A number kept to three decimals, as times in seconds are shown ("duration_s":4.412).
JsonValue jsonDecimal3(double value);

// The value as one line of printable ASCII, without a line break.
std::string jsonLine(const JsonValue& value);
// The text as a JSON string literal, quotes included.
std::string jsonString(const std::string& text);

// One line as JSON; a discarded value (is_discarded()) when it is not JSON or nests deeper
// than maxDepth (an answer that carries record lines inside itself nests deeper than they).
JsonValue parseJsonLine(const std::string& line, int maxDepth = kMaxJsonDepth);

} // namespace pxr7
