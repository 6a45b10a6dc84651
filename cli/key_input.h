// Standard input as the operator's keys, for the unit ids: the system's calls, one file per
// system (key_input_posix.cpp, key_input_win32.cpp).
#pragma once

#include <string>

namespace pxr7 {

// On a terminal: reads key by key without echo, so typed characters never land inside the
// redrawn lanes; Ctrl+C stays a signal. True if the terminal was switched; false when standard
// input is not a terminal (or on Windows), where input comes as lines.
bool startKeyInput();

// Puts the terminal back as startKeyInput found it; nothing when it was not switched. Only
// calls that are safe when another thread may hold any lock, so the stop watchdog can call it
// just before it ends the program.
void restoreKeyInput();

enum class InputRead { Bytes, Nothing, End };

// Waits up to waitMs for input where the system can, and reads what is there into bytes.
// End: the input is closed (or cannot be read).
InputRead readInput(std::string& bytes, int waitMs);

// Whether readInput returns within its wait; where not, its thread cannot be waited for.
bool inputReadsReturnInTime();

} // namespace pxr7
