// One JSON object per line on stdout, each beginning with "schema": 1 (docs/json.md).
#pragma once

#include <cstdint>
#include <string>

namespace pxr7 {

class JsonObject {
public:
    JsonObject();
    JsonObject& add(const char* key, const std::string& value);
    JsonObject& add(const char* key, const char* value); // null for a null pointer
    JsonObject& add(const char* key, long long value);
    JsonObject& add(const char* key, int value) { return add(key, static_cast<long long>(value)); }
    JsonObject& add(const char* key, double value);
    JsonObject& add(const char* key, bool value);
    // A value that is already JSON (an array or object built elsewhere).
    JsonObject& addRaw(const char* key, const std::string& json);
    // The object's text, without the schema key: for nesting.
    std::string nested() const { return "{" + nested_ + "}"; }
    // Writes the object as one line on stdout, flushed.
    void print() const;

private:
    void key(const char* name);
    std::string text_;   // with the schema key
    std::string nested_; // without it
};

} // namespace pxr7
