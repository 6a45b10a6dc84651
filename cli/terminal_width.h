// The width of the terminal standard output goes to, so a redrawn progress line never wraps.
#pragma once

namespace pxr7 {

// Columns of the terminal on standard output; 0 when it is not a terminal or will not say.
int stdoutColumns();

} // namespace pxr7
