// One JSON object per line on stdout, each beginning with "schema": 1 (docs/json.md). A thin
// layer over nlohmann-json (json_text.h): keys stay in the order they are added, and texts are
// kept byte for byte, names as their UTF-8 characters.
#pragma once

#include "json_text.h"

#include <string>
#include <vector>

namespace pxr7 {

class JsonObject {
public:
    JsonObject& add(const char* key, const std::string& value);
    JsonObject& add(const char* key, const char* value); // null for a null pointer
    JsonObject& add(const char* key, long long value);
    JsonObject& add(const char* key, int value) { return add(key, static_cast<long long>(value)); }
    JsonObject& add(const char* key, double value); // three decimals
    JsonObject& add(const char* key, bool value);
    // A nested object (without its own schema key), or an array of them.
    JsonObject& add(const char* key, const JsonObject& value);
    JsonObject& add(const char* key, const std::vector<JsonObject>& items);
    JsonObject& add(const char* key, const std::vector<std::string>& texts);
    // The text, or null when it is empty: a value not known.
    JsonObject& addTextOrNull(const char* key, const std::string& value);
    // A name people type (UTF-8: bench, lane, operator, unit id), null when it is empty.
    JsonObject& addNameOrNull(const char* key, const std::string& value);
    // Names, each kept as its characters.
    JsonObject& addNames(const char* key, const std::vector<std::string>& names);
    // The whole line, schema key first, without a line break.
    std::string line() const;
    // Writes the line on stdout, flushed.
    void print() const;

private:
    JsonValue object_ = JsonValue::object(); // without the schema key
};

} // namespace pxr7
