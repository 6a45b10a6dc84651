// What both history sources (a station's record, the database of every bench) read from a
// request the same way, with the same words for a 400, and the one shape of /api/history's
// answer they both send.
#pragma once

#include "http_reply.h"
#include "json_text.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace pxr7 {

// A parameter's value; "" when absent (a form's empty field is no filter).
std::string paramOf(const QueryParams& params, const char* name);

// page, a whole number from 1, where given (else left as it is); false with the 400's words.
bool readPage(const QueryParams& params, std::size_t& page, std::string& problem);
// per_page, a whole number from 1 to 500, where given (else left as it is).
bool readPerPage(const QueryParams& params, std::size_t& perPage, std::string& problem);
// from and to: each "" or a day as YYYY-MM-DD.
bool readDays(const QueryParams& params, std::string& from, std::string& to, std::string& problem);

// A download: its type, and the file name a browser saves it under.
HttpReply attachment(const char* type, const char* fileName, std::string body = "");

// /api/history's head: the figures of the page asked for.
struct HistoryPageHead {
    std::int64_t total = 0, page = 1, perPage = 50, pages = 0, unreadable = 0;
};

// The answer: the head's figures, then lines (a JSON array, as its source writes its lines),
// then totals and choices (objects).
std::string historyPageJson(const HistoryPageHead& head, const std::string& lines,
                            const JsonValue& totals, const JsonValue& choices);

} // namespace pxr7
