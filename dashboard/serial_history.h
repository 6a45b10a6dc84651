// A history source called from one thread at a time: the server's workers answer history
// requests side by side, and a source that is not made for that gets them one after another
// here, each of its streamed bodies' chunks included. A source safe to call from several
// threads at once needs none of this.
#pragma once

#include "history_source.h"

#include <memory>
#include <mutex>

namespace pxr7 {

class SerialHistory : public HistorySource {
public:
    explicit SerialHistory(HistorySource& source)
        : source_(source), mutex_(std::make_shared<std::mutex>()) {}

    HttpReply history(const QueryParams& params) override;
    HttpReply csv(const QueryParams& params) override;
    HttpReply jsonl(const QueryParams& params) override;
    HttpReply entry(const QueryParams& params) override;

private:
    HttpReply serial(HttpReply (HistorySource::*call)(const QueryParams&),
                     const QueryParams& params);

    HistorySource& source_;
    std::shared_ptr<std::mutex> mutex_; // shared with the bodies still being made
};

} // namespace pxr7
