// The history's requests (/api/history, /api/history.csv, /api/history.jsonl, /api/entry):
// their parameters checked, the record asked, the answer as a reply. Each request first takes
// in what was appended to the record since the last one. With since=SEQ, /api/history and
// /api/history.jsonl serve a poller instead: the lines after that seq, oldest first, a page at
// a time. Safe to call from several threads at once: each request holds the index a moment;
// the exports are made as they are sent (record_download.h), holding it only between parts.
// Error bodies name no file: the record "cannot be read now".
#pragma once

#include "history_query.h"
#include "history_source.h"
#include "http_reply.h"
#include "record_download.h"
#include "summary_index.h"

#include <memory>
#include <string>

namespace pxr7 {

class HistoryApi : public HistorySource {
public:
    explicit HistoryApi(std::string recordPath);

    HttpReply history(const QueryParams& params) override;
    HttpReply csv(const QueryParams& params) override;
    HttpReply jsonl(const QueryParams& params) override;
    HttpReply entry(const QueryParams& params) override;
    HttpReply summary(const QueryParams& params) override;

private:
    // These four run with the record's mutex held.
    bool refresh(HttpReply& failure);
    bool readFilter(const QueryParams& params, HistoryFilter& filter, std::string& problem);
    HttpReply download(const QueryParams& params, bool csv);
    HttpReply since(const QueryParams& params, bool jsonl);

    std::shared_ptr<SharedRecord> record_; // what every request and export shares
    RecordIndex& index_;
    HistoryQuery& query_;
    SummaryIndex summaries_; // under the record's mutex, as the index
};

} // namespace pxr7
