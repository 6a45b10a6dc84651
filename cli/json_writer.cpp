#include "json_writer.h"

#include "json_text.h"
#include "terminal.h"

#include <cstdio>

namespace pxr7 {

JsonObject::JsonObject() : text_("\"schema\":1") {}

void JsonObject::key(const char* name) {
    const std::string quoted = jsonString(name) + ":";
    text_ += "," + quoted;
    nested_ += (nested_.empty() ? "" : ",") + quoted;
}

JsonObject& JsonObject::addRaw(const char* name, const std::string& json) {
    key(name);
    text_ += json;
    nested_ += json;
    return *this;
}

JsonObject& JsonObject::add(const char* name, const std::string& value) {
    return addRaw(name, jsonString(value));
}

JsonObject& JsonObject::add(const char* name, const char* value) {
    return addRaw(name, value != nullptr ? jsonString(value) : "null");
}

JsonObject& JsonObject::add(const char* name, long long value) {
    return addRaw(name, std::to_string(value));
}

JsonObject& JsonObject::add(const char* name, double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return addRaw(name, text);
}

JsonObject& JsonObject::add(const char* name, bool value) {
    return addRaw(name, value ? "true" : "false");
}

void JsonObject::print() const {
    terminal().line(LineKind::Json, "{" + text_ + "}");
}

} // namespace pxr7
