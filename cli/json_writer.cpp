#include "json_writer.h"

#include "terminal.h"

namespace pxr7 {

JsonObject& JsonObject::add(const char* key, const std::string& value) {
    object_[key] = jsonText(value);
    return *this;
}

JsonObject& JsonObject::add(const char* key, const char* value) {
    object_[key] = value != nullptr ? jsonText(value) : JsonValue(nullptr);
    return *this;
}

JsonObject& JsonObject::add(const char* key, long long value) {
    object_[key] = value;
    return *this;
}

JsonObject& JsonObject::add(const char* key, double value) {
    object_[key] = jsonDecimal3(value);
    return *this;
}

JsonObject& JsonObject::add(const char* key, bool value) {
    object_[key] = value;
    return *this;
}

JsonObject& JsonObject::add(const char* key, const JsonObject& value) {
    object_[key] = value.object_;
    return *this;
}

JsonObject& JsonObject::add(const char* key, const std::vector<JsonObject>& items) {
    JsonValue array = JsonValue::array();
    for (const JsonObject& item : items) {
        array.push_back(item.object_);
    }
    object_[key] = std::move(array);
    return *this;
}

JsonObject& JsonObject::add(const char* key, const std::vector<std::string>& texts) {
    JsonValue array = JsonValue::array();
    for (const std::string& text : texts) {
        array.push_back(jsonText(text));
    }
    object_[key] = std::move(array);
    return *this;
}

JsonObject& JsonObject::addTextOrNull(const char* key, const std::string& value) {
    object_[key] = jsonTextOrNull(value);
    return *this;
}

std::string JsonObject::line() const {
    JsonValue line = JsonValue::object();
    line["schema"] = 1;
    for (const auto& item : object_.items()) {
        line[item.key()] = item.value();
    }
    return jsonLine(line);
}

void JsonObject::print() const {
    terminal().line(LineKind::Json, line());
}

} // namespace pxr7

namespace pxr7 {

JsonObject& JsonObject::addNameOrNull(const char* key, const std::string& value) {
    object_[key] = jsonNameOrNull(value);
    return *this;
}

JsonObject& JsonObject::addNames(const char* key, const std::vector<std::string>& names) {
    JsonValue array = JsonValue::array();
    for (const std::string& name : names) {
        array.push_back(jsonName(name));
    }
    object_[key] = std::move(array);
    return *this;
}

} // namespace pxr7
