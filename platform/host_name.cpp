#include "platform/host_name.h"

#include <unistd.h>

#include <array>
#include <climits>

namespace platform {

std::string hostName() {
    std::array<char, HOST_NAME_MAX + 1> name{};
    // A name cut at the buffer's end may lack its terminator.
    if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "localhost";
    return std::string(name.data());
}

}  // namespace platform
