// (stand-in until the history API lands)
#pragma once
#include "http_reply.h"
namespace pxr7 {
class HistoryApi {
public:
    explicit HistoryApi(std::string recordPath) : path_(std::move(recordPath)) {}
    HttpReply history(const QueryParams&) { return errorReply(404, "no"); }
    HttpReply csv(const QueryParams&) { return errorReply(404, "no"); }
    HttpReply jsonl(const QueryParams&) { return errorReply(404, "no"); }
    HttpReply entry(const QueryParams&) { return errorReply(404, "no"); }

private:
    std::string path_;
};
} // namespace pxr7
