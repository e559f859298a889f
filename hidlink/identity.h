#pragma once
#include <cstdint>

namespace hidlink {

// What enumeration reports for one top-level collection and what an open asks for.
// Each value is the 16-bit HID value, zero-extended.
struct CollectionIdentity {
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
    std::uint32_t usagePage = 0;
    std::uint32_t usage = 0;

    friend bool operator==(const CollectionIdentity&, const CollectionIdentity&) = default;
};

}  // namespace hidlink
