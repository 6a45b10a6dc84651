// The history pages over the database of every bench (pxr7 serve): the same requests and
// answers as a station's own record (HistoryApi), each line with its bench, a bench filter,
// and the benches to choose from. /api/entry takes bench and seq. A database that went away
// answers 503 until it is back: each request first connects again when it has to.
#pragma once

#include "history_source.h"
#include "history_store.h"
#include "pg_connection.h"

#include <mutex>
#include <string>

namespace pxr7 {

class DatabaseHistoryApi : public HistorySource {
public:
    explicit DatabaseHistoryApi(std::string url) : url_(std::move(url)) {}

    // Connects and checks the tables. False, with the reason (no password in it), when the
    // database can never be used as it is: a URL libpq cannot read, a login refused, tables of
    // another version. A database that is away or has no tables yet is no reason to stop: the
    // reason is given and true returned, and the pages say so until it can be used.
    bool open(std::string& problem);

    HttpReply history(const QueryParams& params) override;
    HttpReply csv(const QueryParams& params) override;
    HttpReply jsonl(const QueryParams& params) override;
    HttpReply entry(const QueryParams& params) override;

private:
    bool ready(HttpReply& failure);
    HttpReply failed(const DbStatus& status);
    HttpReply download(const QueryParams& params, bool csv);

    std::string url_;
    std::string problem_;  // the last failure's reason
    bool lasting_ = false; // whether it lasts until the URL or the database is changed
    std::mutex mutex_;     // one statement at a time on the one connection
    PgConnection db_;
    HistoryStore store_{db_};
};

// The filter of a request's parameters; false with the reason for a bad value.
bool storeFilterOf(const QueryParams& params, StoreFilter& filter, std::string& problem);

} // namespace pxr7
