#include "serial_history.h"

namespace pxr7 {

HttpReply SerialHistory::serial(HttpReply (HistorySource::*call)(const QueryParams&),
                                const QueryParams& params) {
    std::unique_lock<std::mutex> lock(*mutex_);
    HttpReply reply = (source_.*call)(params);
    lock.unlock();
    if (reply.chunks) {
        reply.chunks = [mutex = mutex_, chunks = std::move(reply.chunks)](std::string& chunk) {
            std::lock_guard<std::mutex> held(*mutex);
            return chunks(chunk);
        };
    }
    return reply;
}

HttpReply SerialHistory::history(const QueryParams& params) {
    return serial(&HistorySource::history, params);
}

HttpReply SerialHistory::csv(const QueryParams& params) {
    return serial(&HistorySource::csv, params);
}

HttpReply SerialHistory::jsonl(const QueryParams& params) {
    return serial(&HistorySource::jsonl, params);
}

HttpReply SerialHistory::entry(const QueryParams& params) {
    return serial(&HistorySource::entry, params);
}

} // namespace pxr7
