// Asking before anything is written. With --yes nothing is asked; the question goes to the
// terminal side, never stdout; with --json and no terminal to answer on it is a usage error.
#pragma once

namespace pxr7 {

enum class Answer { Yes, No, CannotAsk };

// Why Answer::CannotAsk ends the command (a usage error).
constexpr char kCannotAskText[] = "pxr7: --json without --yes needs a terminal to ask on";

// How a command may ask: --yes given, and whether its output is JSON.
struct Asking {
    bool assumeYes = false;
    bool json = false;
};

Answer askToConfirm(const Asking& asking, const char* question);

} // namespace pxr7
