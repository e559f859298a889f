#pragma once
// Which of the maker's collections the station uses, by controller generation: the connect
// step and vorlick-diag choose the touch and pen collections with the same rules.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "hidlink/identity.h"

namespace controllerlink {

enum class ControllerGeneration : std::uint8_t { R5, R6 };

// "R5" or "R6", exactly.
std::optional<ControllerGeneration> parseGeneration(std::string_view text);

std::uint32_t touchUsagePage(ControllerGeneration gen);
// The pen collection's usage that goes with a touch collection of `touchUsage`.
std::uint32_t penUsage(std::uint32_t touchUsage, ControllerGeneration gen);

// The first entry of the maker's vendor ids, with the generation's usage page and usage
// 0x11 or 0x0B.
std::optional<hidlink::CollectionIdentity> findTouchCollection(std::span<const hidlink::CollectionIdentity> found,
                                                               ControllerGeneration gen);

// The pen collection of the same device: the touch collection's vendor id, product id and
// usage page with the pen usage.
hidlink::CollectionIdentity penIdentityFor(const hidlink::CollectionIdentity& touch, ControllerGeneration gen);
std::optional<hidlink::CollectionIdentity> findPenCollection(std::span<const hidlink::CollectionIdentity> found,
                                                             const hidlink::CollectionIdentity& touch,
                                                             ControllerGeneration gen);

}  // namespace controllerlink
