// What the history pages ask (/api/history, its exports, /api/entry, /api/history/summary),
// whoever answers: a
// station's own record (HistoryApi) or the database of every bench (DatabaseHistoryApi).
// The server calls them from several threads at once.
#pragma once

#include "http_reply.h"

namespace pxr7 {

class HistorySource {
public:
    virtual ~HistorySource() = default;
    virtual HttpReply history(const QueryParams& params) = 0;
    virtual HttpReply csv(const QueryParams& params) = 0;
    virtual HttpReply jsonl(const QueryParams& params) = 0;
    virtual HttpReply entry(const QueryParams& params) = 0;
    // The figures over the lines /api/history's filters select (history_summary.h), apart
    // from the page of lines: they read every match, the lines only a page.
    virtual HttpReply summary(const QueryParams& params) = 0;
};

// The overview of several stations (/api/overview), as one JSON object.
class OverviewSource {
public:
    virtual ~OverviewSource() = default;
    virtual std::string overviewJson() = 0;
};

} // namespace pxr7
