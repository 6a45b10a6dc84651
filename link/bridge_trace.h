// A live trace of the D2XX calls, for a front end's --verbose: a forwarding table in front of
// the one d2xx() serves, which passes every call on untouched and then describes it in one
// line. The calls above the table (DevicePort, the version query, the upgrade) do not change.
#pragma once

namespace pxr7 {

// Receives one line per call, without a line break, valid only during the call.
using TraceSink = void (*)(const char* line);

// Wraps the table d2xx() serves now and serves the wrapper instead. Each call goes to the
// wrapped entry first; its status and everything it wrote pass back unchanged. Then sink gets
//   FT_Read(handle 1, 16) -> 0, 14 bytes
// the function, the arguments that matter in the call's own order (buffers and out-pointers
// left out), "->", the status as a number and, if it is FT_OK, what the call gave back. A
// handle shows as a short id: 1 for the first one FT_Open gave, 2 for the next, and so on;
// "handle null" for a null one.
//
// Calls may come from several threads at once. The wrapper never holds a call back while
// another is in the library, but it hands the lines to sink one at a time, in the order the
// calls returned, so sink need not be thread-safe itself.
//
// The wrapper has an optional entry only where the wrapped table has it, so
// bridgeHasLatencyTimer() does not change. Installing again changes only the sink; a null
// sink is removeCallTrace(). Without a bridge library there is nothing to wrap and nothing
// happens. Install and remove while no call is under way.
void installCallTrace(TraceSink sink);

// Serves the wrapped table again, if the wrapper is still the table d2xx() serves (loading a
// library in between replaces both).
void removeCallTrace();

} // namespace pxr7
