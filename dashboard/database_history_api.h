// The history pages over the database of every bench (pxr7 serve): the same requests and
// answers as a station's own record (HistoryApi), each line with its bench, a bench filter,
// and the benches to choose from. /api/entry takes bench, seq and, optionally, stream. Safe to
// call from several threads at once: each request borrows one of a few connections (PgPool),
// each with a statement timeout, and an export keeps its own to the end of its cursor. A
// database that went away answers 503 until it is back: a connection found broken is made
// again by the next request that borrows it. A filter the database refuses as text is 400.
// Error bodies name no host, port or socket; open() gives the whole reason.
#pragma once

#include "history_source.h"
#include "history_store.h"
#include "history_summary.h"
#include "pg_connection.h"
#include "pg_pool.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace pxr7 {

struct DatabaseLimits {
    std::size_t connections = 4;                       // open at most at once
    std::chrono::milliseconds connectionWait{2000};    // for one to come free; then 503
    std::chrono::milliseconds statementTimeout{10000}; // each statement's; then 503
};

class DatabaseHistoryApi : public HistorySource {
public:
    explicit DatabaseHistoryApi(std::string url, DatabaseLimits limits = {});

    // Connects and checks the tables. False, with the reason (no password in it), when the
    // database can never be used as it is: a URL libpq cannot read, a login refused, tables of
    // another version. A database that is away or has no tables yet is no reason to stop: the
    // reason is given and true returned, and the pages say so until it can be used.
    bool open(std::string& problem);

    HttpReply history(const QueryParams& params) override;
    HttpReply csv(const QueryParams& params) override;
    HttpReply jsonl(const QueryParams& params) override;
    HttpReply entry(const QueryParams& params) override;
    HttpReply summary(const QueryParams& params) override;

    // Every bench's figures over its lines finished on from (YYYY-MM-DD) or later; false, with
    // what a page would be told, when the database cannot answer now.
    bool benchSummaries(const std::string& from, std::vector<BenchSummary>& out,
                        std::string& problem);

private:
    // A connection borrowed and connected, its tables checked; false with the answer to give.
    bool ready(PgPool::Lease& lease, HttpReply& failure);
    // The answer of ask, given the request's filter and a connection ready for it; otherwise
    // the answer to give (400 for a filter it cannot read, before any connection is borrowed).
    using FilteredAsk = std::function<HttpReply(const StoreFilter&, PgPool::Lease&)>;
    HttpReply withFilter(const QueryParams& params, const FilteredAsk& ask);
    bool connect(PgConnection& db, HttpReply& failure);
    HttpReply failed(PgConnection& db, const DbStatus& status);
    void remember(const std::string& problem, bool lasting);
    HttpReply download(const QueryParams& params, bool csv);

    const std::string url_;
    const DatabaseLimits limits_;
    std::shared_ptr<PgPool> pool_;
    std::mutex mutex_;     // over problem_ and lasting_
    std::string problem_;  // the last failure's reason, in full
    bool lasting_ = false; // whether it lasts until the URL or the database is changed
};

// The filter of a request's parameters; false with the reason for a bad value.
bool storeFilterOf(const QueryParams& params, StoreFilter& filter, std::string& problem);

} // namespace pxr7
