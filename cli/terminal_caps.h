// What the terminal on standard output can do: its width, so a redrawn line never wraps, and
// whether it takes the escape sequences that redraw lines in place.
#pragma once

namespace pxr7 {

// Columns of the terminal on standard output; 0 when it is not a terminal or will not say.
int stdoutColumns();

// Whether standard output is a terminal that takes cursor movement and erase sequences: not
// TERM=dumb or an unset TERM on POSIX; on Windows a console that accepted virtual-terminal
// processing (switched on here).
bool stdoutTakesSequences();

// Whether standard output, or standard input, is an interactive terminal.
bool stdoutIsTerminal();
bool stdinIsTerminal();

} // namespace pxr7
