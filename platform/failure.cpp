#include "platform/failure.h"

#include <cstring>

namespace platform {

std::string Failure::text() const {
    std::string out = what;
    if (!where.empty()) out += (out.empty() ? "" : " ") + where;
    if (!out.empty()) out += ": ";
    return out + reason;
}

Failure Failure::fromErrno(std::string where, int error, std::string what) {
    return Failure{std::move(where), std::strerror(error), std::move(what)};
}

}  // namespace platform
