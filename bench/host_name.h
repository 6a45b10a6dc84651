// The name of the machine the program runs on, for the record: which bench did it.
#pragma once

#include <string>

namespace pxr7 {

// The host's name; "" if the system does not tell.
std::string hostName();

} // namespace pxr7
