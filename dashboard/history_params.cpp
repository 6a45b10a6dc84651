#include "history_params.h"

#include "history_query.h"

#include <utility>

namespace pxr7 {

namespace {

// A whole number from 1 up to most, in plain digits.
bool countFrom1(const std::string& text, std::size_t most, std::size_t& value) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoull(text);
    return value >= 1 && value <= most;
}

// name's value, where given, a whole number from 1 up to most; else the 400's words.
bool readCount(const QueryParams& params, const char* name, std::size_t most, std::size_t& value,
               const char* words, std::string& problem) {
    const std::string text = paramOf(params, name);
    if (!text.empty() && !countFrom1(text, most, value)) {
        problem = words;
        return false;
    }
    return true;
}

} // namespace

std::string paramOf(const QueryParams& params, const char* name) {
    const auto found = params.find(name);
    return found != params.end() ? found->second : std::string();
}

bool readPage(const QueryParams& params, std::size_t& page, std::string& problem) {
    return readCount(params, "page", 1000000000, page, "page is not a whole number from 1",
                     problem);
}

bool readPerPage(const QueryParams& params, std::size_t& perPage, std::string& problem) {
    return readCount(params, "per_page", 500, perPage,
                     "per_page is not a whole number from 1 to 500", problem);
}

bool readDays(const QueryParams& params, std::string& from, std::string& to, std::string& problem) {
    from = paramOf(params, "from");
    to = paramOf(params, "to");
    if (!from.empty() && !isDay(from)) {
        problem = "from is not a date as YYYY-MM-DD";
    } else if (!to.empty() && !isDay(to)) {
        problem = "to is not a date as YYYY-MM-DD";
    }
    return problem.empty();
}

HttpReply attachment(const char* type, const char* fileName, std::string body) {
    HttpReply reply;
    reply.contentType = type;
    reply.body = std::move(body);
    reply.headers.emplace_back("Content-Disposition",
                               std::string("attachment; filename=\"") + fileName + "\"");
    return reply;
}

std::string historyPageJson(const HistoryPageHead& head, const std::string& lines,
                            const JsonValue& totals, const JsonValue& choices) {
    JsonValue body = JsonValue::object();
    body["schema"] = 1;
    body["total"] = head.total;
    body["page"] = head.page;
    body["per_page"] = head.perPage;
    body["pages"] = head.pages;
    body["unreadable"] = head.unreadable;
    std::string text = jsonLine(body);
    text.pop_back(); // the object goes on with the lines as their source wrote them
    return text + ",\"lines\":" + lines + ",\"totals\":" + jsonLine(totals) +
           ",\"choices\":" + jsonLine(choices) + "}";
}

} // namespace pxr7
