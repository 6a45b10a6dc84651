#include "key_input.h"

#include <windows.h>

namespace pxr7 {

// The console keeps its line mode: the operator types an id and Enter, as in a pipe.
bool startKeyInput() {
    return false;
}

void restoreKeyInput() {}

InputRead readInput(std::string& bytes, int) {
    bytes.clear();
    char buffer[256];
    DWORD got = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) == 0 ||
        got == 0) {
        return InputRead::End;
    }
    bytes.assign(buffer, got);
    return InputRead::Bytes;
}

// ReadFile waits for a whole line.
bool inputReadsReturnInTime() {
    return false;
}

} // namespace pxr7
