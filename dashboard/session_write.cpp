// A connection's writing: one piece at a time, the client's wait starting again with each part
// it takes; a streamed body made by a worker a chunk at a time, the next only once the last is
// written, so a connection holds a bounded amount whatever the body's size; the event stream.
#include "http_session.h"

#include <boost/asio/post.hpp>

#include <exception>

namespace pxr7 {

namespace beast = boost::beast;
namespace net = boost::asio;

namespace {

std::string eventText(const std::string& id, const FeedEvent& event) {
    return "id: " + id + "\nevent: " + event.name + "\ndata: " + event.data + "\n\n";
}

// A producer that fails in its own way ends the body cut short, like one that says so.
Chunk nextChunk(BodyChunks& chunks, std::string& bytes) {
    try {
        return chunks(bytes);
    } catch (const std::exception&) {
        return Chunk::Failed;
    }
}

} // namespace

void HttpSession::write(std::string text, std::function<void()> then) {
    writing_ = true;
    out_ = std::move(text);
    sent_ = 0;
    then_ = std::move(then);
    writeSome();
}

void HttpSession::writeSome() {
    if (sent_ >= out_.size()) {
        finishWrite();
        return;
    }
    arm(server_.limits.writeWait);
    auto self = shared_from_this();
    onStream([&](auto& stream) {
        stream.async_write_some(net::buffer(out_.data() + sent_, out_.size() - sent_),
                                [self](const beast::error_code& error, std::size_t wrote) {
                                    if (self->closed_) {
                                        return;
                                    }
                                    if (error) {
                                        self->abort();
                                        return;
                                    }
                                    self->sent_ += wrote;
                                    self->writeSome();
                                });
    });
}

void HttpSession::finishWrite() {
    disarm();
    writing_ = false;
    lastWrite_ = Clock::now();
    if (out_.capacity() > 2 * server_.limits.sendBytes) {
        std::string().swap(out_); // a whole answer's bytes go with it
    } else {
        out_.clear();
    }
    std::function<void()> then = std::move(then_);
    then_ = nullptr;
    then();
}

void HttpSession::sendWhole(HttpReply& reply, Asked asked) {
    std::string text =
        replyHead(reply, asked.version, asked.keepAlive, BodyShape::Length, reply.body.size());
    if (!asked.head) {
        text += reply.body;
    }
    const bool keepAlive = asked.keepAlive;
    write(std::move(text), [this, keepAlive] { afterAnswer(keepAlive); });
}

// HTTP/1.1: chunked, and the connection kept. HTTP/1.0: the body until the connection closes.
void HttpSession::sendStreamed(HttpReply& reply, Asked asked) {
    const bool chunked = asked.version != 10;
    shape_ = chunked ? BodyShape::Chunked : BodyShape::UntilClose;
    keepAfterBody_ = chunked && asked.keepAlive;
    std::string text = replyHead(reply, asked.version, keepAfterBody_, shape_, 0);
    if (asked.head) {
        const bool keepAlive = keepAfterBody_;
        write(std::move(text), [this, keepAlive] { afterAnswer(keepAlive); });
        return;
    }
    text += chunked ? chunkFrame(reply.body) : reply.body;
    chunks_ = std::move(reply.chunks);
    write(std::move(text), [this] { askChunk(); });
}

// A worker gathers up to sendBytes of the body; the I/O thread writes them and asks again.
void HttpSession::askChunk() {
    auto self = shared_from_this();
    const std::size_t bound = server_.limits.sendBytes;
    const bool taken = server_.pool.submit(
        [self, bound]() mutable {
            std::string bytes;
            Chunk result = Chunk::More;
            while (result == Chunk::More && bytes.size() < bound) {
                result = nextChunk(self->chunks_, bytes);
            }
            net::io_context& io = self->server_.io;
            net::post(io, [self = std::move(self), bytes = std::move(bytes), result]() mutable {
                self->onChunk(std::move(bytes), result);
            });
        },
        WorkPool::Admit::Always);
    if (!taken) {
        abort(); // the server stops
    }
}

void HttpSession::onChunk(std::string bytes, Chunk result) {
    if (closed_) {
        return;
    }
    const bool chunked = shape_ == BodyShape::Chunked;
    std::string text = chunked ? chunkFrame(bytes) : std::move(bytes);
    if (result == Chunk::More) {
        write(std::move(text), [this] { askChunk(); });
        return;
    }
    chunks_ = nullptr;
    if (result == Chunk::Done && chunked) {
        write(text + kLastChunk, [this] { afterAnswer(keepAfterBody_); });
        return;
    }
    // HTTP/1.0's body ends with the connection; a failed one ends without its last chunk, so
    // the client knows it is incomplete.
    write(std::move(text), [this] { close(); });
}

void HttpSession::startStream(const Routed& routed, bool head) {
    streaming_ = true;
    ++server_.streams;
    std::string text = streamHead(routed.reply);
    if (head) {
        endAfterWrite_ = true;
        sendEvents(std::move(text));
        return;
    }
    FeedBatch batch = server_.feed->start(routed.lastEventId);
    for (const FeedEvent& event : batch.events) {
        text += eventText(server_.feed->eventId(event.number), event);
    }
    cursor_ = batch.next;
    sendEvents(std::move(text));
}

// Sends the events the stream has not had yet, unless a write is under way (its end comes back
// here). A stream too far behind gets the whole state afresh and goes on from there.
void HttpSession::pump() {
    if (!streaming_ || writing_ || closed_ || endAfterWrite_) {
        return;
    }
    FeedBatch batch = server_.feed->after(cursor_, server_.limits.streamBacklog);
    std::string text;
    for (const FeedEvent& event : batch.events) {
        text += eventText(server_.feed->eventId(event.number), event);
        endAfterWrite_ = endAfterWrite_ || event.name == "station_ended";
    }
    cursor_ = batch.next;
    if (!text.empty()) {
        sendEvents(std::move(text));
    }
}

void HttpSession::sendEvents(std::string text) {
    write(std::move(text), [this] {
        if (endAfterWrite_) {
            close();
        } else {
            pump();
        }
    });
}

void HttpSession::keepAliveIfQuiet(Clock::time_point now) {
    if (streaming_ && !writing_ && !closed_ && now - lastWrite_ >= server_.limits.keepAlive) {
        sendEvents(": keep-alive\n\n");
    }
}

} // namespace pxr7
