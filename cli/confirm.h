// Asking before anything is written. With --yes nothing is asked; with --json the question
// never goes to stdout, and without a terminal to answer on it is a usage error.
#pragma once

#include "options.h"

namespace pxr7 {

enum class Answer { Yes, No, CannotAsk };

Answer askToConfirm(const Options& options, const char* question);

} // namespace pxr7
