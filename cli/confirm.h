// Asking before anything is written. With --yes nothing is asked; the question goes to the
// terminal side, never stdout; with --json and no terminal to answer on it is a usage error.
#pragma once

#include "options.h"

namespace pxr7 {

enum class Answer { Yes, No, CannotAsk };

Answer askToConfirm(const Options& options, const char* question);

} // namespace pxr7
