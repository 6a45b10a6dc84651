// The whole body of a reply, as the server would send it: its body, then every chunk. For the
// tests of the file's history and the database's alike.
#pragma once

#include "http_reply.h"

#include <cstddef>
#include <string>

namespace pxr7 {

// whole says whether it ended as Done (not Failed); parts how many chunks were asked for.
inline std::string drained(const HttpReply& reply, bool* whole = nullptr,
                           std::size_t* parts = nullptr) {
    std::string body = reply.body;
    Chunk chunk = reply.chunks ? Chunk::More : Chunk::Done;
    std::size_t count = 0;
    while (chunk == Chunk::More) {
        chunk = reply.chunks(body);
        ++count;
    }
    if (whole != nullptr) {
        *whole = chunk == Chunk::Done;
    }
    if (parts != nullptr) {
        *parts = count;
    }
    return body;
}

} // namespace pxr7
