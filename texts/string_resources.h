// The program's string table: the Windows string resources, or the same texts compiled in.
#pragma once

#include <cstddef>

namespace pxr7 {

// Copies string id into buffer (at most size bytes with the zero; longer texts are cut) and
// returns the number of characters copied; 0 when the string does not exist.
int loadStringResource(int stringId, char* buffer, std::size_t size);

} // namespace pxr7
