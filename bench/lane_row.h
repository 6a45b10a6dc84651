// One lane as a front end draws it: its words, its tone and, while a meter takes the image,
// the transfer's figures. The terminal fits it to its columns; the live page sends it as JSON.
#pragma once

#include "phase.h"

#include <cstdint>
#include <string>

namespace pxr7 {

struct ProgressFigures {
    Phase phase = Phase::Sending;
    std::int32_t done = 0;
    std::int32_t total = 0;
    double secondsSending = 0; // since the first record went out
    double secondsQuiet = 0;   // since the last record went out (or the sending began)
    int attempt = 1;           // the transfer's attempt on this meter
};

// How a lane's state reads at a glance, and its colour where the terminal has colour.
enum class LaneTone {
    Quiet,     // waiting for a meter
    Working,   // a meter is being served
    Good,      // ok or current: take the meter off
    Bad,       // the meter failed
    Attention, // the lane cannot serve meters until someone acts
};

struct LaneRow {
    std::string label; // the lane's name, or its serial number and bridge
    std::string state; // in a few words; for a transfer, the words before its figures
    bool sending = false;
    ProgressFigures progress; // while sending
    std::string next;         // the next step in words; "" when there is nothing to do
    std::string brief;        // the same in a few words, for a screen too low for it; "" none
    std::string counts;       // "2 ok, 1 failed" when asked for; else ""
    LaneTone tone = LaneTone::Quiet;
};

} // namespace pxr7
