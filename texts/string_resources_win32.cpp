#include "string_resources.h"

#include <windows.h>

#include <climits>

namespace pxr7 {

int loadStringResource(int stringId, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    int capacity = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    return LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(stringId), buffer, capacity);
}

} // namespace pxr7
