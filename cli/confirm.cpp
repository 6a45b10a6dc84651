#include "confirm.h"

#include "terminal.h"
#include "terminal_caps.h"

namespace pxr7 {

Answer askToConfirm(const Asking& asking, const char* question) {
    if (asking.assumeYes) {
        return Answer::Yes;
    }
    if (asking.json && !stdinIsTerminal()) {
        return Answer::CannotAsk;
    }
    std::string answer;
    if (!terminal().ask(std::string(question) + " [y/N]", answer)) {
        return Answer::No;
    }
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? Answer::Yes : Answer::No;
}

} // namespace pxr7
