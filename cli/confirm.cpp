#include "confirm.h"

#include "text_output.h"

#include <cstdio>

namespace pxr7 {

Answer askToConfirm(const Options& options, const char* question) {
    if (options.assumeYes) {
        return Answer::Yes;
    }
    if (options.json && !stdinIsTerminal()) {
        return Answer::CannotAsk;
    }
    // JSON owns stdout: the question goes where a person reads it.
    std::FILE* out = options.json ? stderr : stdout;
    std::fprintf(out, "%s [y/N] ", question);
    std::fflush(out);
    char answer[16] = {};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
        std::fprintf(out, "\n");
        return Answer::No;
    }
    return answer[0] == 'y' || answer[0] == 'Y' ? Answer::Yes : Answer::No;
}

} // namespace pxr7
