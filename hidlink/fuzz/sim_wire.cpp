// Messages from a simulator peer are outside input: decoding must never read out of bounds,
// and whatever decodes must encode back to the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "hidlink/sim_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hidlink::simwire;
    if (size >= 4) (void)bodyLength(std::span<const std::uint8_t, 4>(data, 4));
    const std::span<const std::uint8_t> body(data, size);
    if (auto m = decodeBody(body)) {
        const auto frame = encode(*m);
        if (frame.size() != size + 4 || !std::equal(frame.begin() + 4, frame.end(), data)) std::abort();
        if (const auto* e = std::get_if<EnumerateReply>(&*m)) (void)collectionsOf(*e, 100);
    }
    return 0;
}
