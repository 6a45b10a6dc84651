// A station's history API over loopback, honest or hostile, for the collector's tests: plain
// sockets, one thread per connection, everything ended and joined when it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace pxr7::test {

enum class StationMode {
    Live,         // its record's lines, as a station serves them; lines can be added
    Endless,      // always a full page and "more": a backlog without end
    Slow,         // an empty page, 9 s after the request
    Silent,       // takes the connection and never answers (a paused station)
    HugeDeclared, // a 200 MB answer with its Content-Length, streamed as long as it is read
    HugeChunked,  // the same without a length, in chunks
    OverPage,     // a page of more lines than asked for
    LongLine,     // its page's line is over the record's 4 MiB line limit
};

class FakeStation {
public:
    FakeStation(StationMode mode, std::string bench);
    ~FakeStation();
    FakeStation(const FakeStation&) = delete;
    FakeStation& operator=(const FakeStation&) = delete;

    std::string url() const; // http://127.0.0.1:PORT
    // Live: appends count lines (seq rising from 1); returns the last seq.
    std::int64_t addLines(int count);
    // The body bytes written so far, over every answer.
    std::uint64_t bodyBytesSent() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace pxr7::test
