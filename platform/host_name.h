#pragma once
// The machine's name, as a station names itself in the line's records.
#include <string>

namespace platform {

// The host name; "localhost" when the system has none to give.
std::string hostName();

}  // namespace platform
