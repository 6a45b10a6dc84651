// The history's requests (/api/history, /api/history.csv, /api/history.jsonl, /api/entry):
// their parameters checked, the record asked, the answer as a reply. Each request first takes
// in what was appended to the record since the last one. With since=SEQ, /api/history and
// /api/history.jsonl serve a poller instead: the lines after that seq, oldest first, a page at
// a time. One thread only.
#pragma once

#include "history_query.h"
#include "history_source.h"
#include "http_reply.h"
#include "record_index.h"

#include <string>

namespace pxr7 {

class HistoryApi : public HistorySource {
public:
    explicit HistoryApi(std::string recordPath);

    HttpReply history(const QueryParams& params) override;
    HttpReply csv(const QueryParams& params) override;
    HttpReply jsonl(const QueryParams& params) override;
    HttpReply entry(const QueryParams& params) override;

private:
    bool refresh(HttpReply& failure);
    bool readFilter(const QueryParams& params, HistoryFilter& filter, std::string& problem);
    HttpReply download(const QueryParams& params, bool csv);
    HttpReply since(const QueryParams& params, bool jsonl);

    RecordIndex index_;
    HistoryQuery query_;
};

} // namespace pxr7
