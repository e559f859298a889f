// The "BIN_DAT" resource of a program built without an embedded image. Its first word is 0
// and its first 32 bytes add up to 3006, which is how the writer recognises it.
#include <cstdint>
#include <numeric>
#include <span>

namespace romwrite {

namespace {

// Bytes 4..31 spell "romwrite_build_none_resource".
constexpr std::uint8_t kPlaceholder[32] = {
    0,   0,   0,   0,   'r', 'o', 'm', 'w', 'r', 'i', 't', 'e', '_', 'b', 'u', 'i',
    'l', 'd', '_', 'n', 'o', 'n', 'e', '_', 'r', 'e', 's', 'o', 'u', 'r', 'c', 'e',
};
static_assert(std::accumulate(std::begin(kPlaceholder), std::end(kPlaceholder), 0u) == 3006);

}  // namespace

std::span<const std::uint8_t> embeddedResource() { return kPlaceholder; }

}  // namespace romwrite
