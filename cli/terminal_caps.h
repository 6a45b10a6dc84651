// What the terminal on standard output can do: its width, so a redrawn line never wraps, and
// whether it takes the escape sequences that redraw lines in place.
#pragma once

namespace pxr7 {

// Columns of the terminal on standard output; 0 when it is not a terminal or will not say.
int stdoutColumns();

// Rows of the terminal on standard output; 0 when it is not a terminal or will not say.
int stdoutRows();

// Starts noting changes of the terminal's size (SIGWINCH on POSIX; Windows consoles are
// asked for their size at each redraw instead). tookResize() says whether the size changed
// since it was last asked, and forgets it.
void watchTerminalSize();
bool tookResize();

// Whether standard output is a terminal that takes cursor movement and erase sequences: not
// TERM=dumb or an unset TERM on POSIX; on Windows a console that accepted virtual-terminal
// processing (switched on here).
bool stdoutTakesSequences();

// Whether text goes out as UTF-8: on POSIX the locale's character set (LC_ALL, LC_CTYPE or
// LANG, the first one set) names UTF-8; on Windows the console's output code page is UTF-8.
// Names are shown as typed where it does, as escapes elsewhere.
bool stdoutTakesUtf8();

// Whether standard output, or standard input, is an interactive terminal.
bool stdoutIsTerminal();
bool stdinIsTerminal();

} // namespace pxr7
