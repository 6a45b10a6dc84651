// The record's chain: every line written since streams began names its stream (a random id
// given when the bench's counter is made) and, but for the stream's first line, the SHA-256 of
// the line before it in that stream, as written. A line changed, removed or slipped in after it
// was written shows as a link that no longer holds.
#pragma once

#include <string>

namespace pxr7 {

// A new stream id: 128 random bits as 32 lowercase hex digits.
std::string newStreamId();

// Whether text is a stream id as newStreamId makes them (anything else is not one of ours, and
// may be of any length).
bool isStreamId(const std::string& text);

// The SHA-256 of a line's bytes as written, without its line break: 64 lowercase hex digits, the
// next line's prev.
std::string lineDigest(const std::string& bytes);

// Whether text is a digest as lineDigest gives them.
bool isLineDigest(const std::string& text);

} // namespace pxr7
