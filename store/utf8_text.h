// A JSON text as the database keeps it: UTF-8 as the JSON holds it (the record's readers give
// texts as bytes, one per character up to U+00FF, which UTF-8 text columns refuse), with NUL,
// which PostgreSQL's text cannot hold, as U+FFFD.
#pragma once

#include "json_text.h"

#include <string>

namespace pxr7 {

// The value of key in object as above; "" when it is missing or not a string.
std::string utf8Text(const JsonValue& object, const char* key);

} // namespace pxr7
