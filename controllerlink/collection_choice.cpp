#include "controllerlink/collection_choice.h"

#include "controllerlink/vendor_ids.h"

namespace controllerlink {

std::optional<ControllerGeneration> parseGeneration(std::string_view text) {
    if (text == "R5") return ControllerGeneration::R5;
    if (text == "R6") return ControllerGeneration::R6;
    return std::nullopt;
}

std::uint32_t touchUsagePage(ControllerGeneration gen) { return gen == ControllerGeneration::R5 ? 0xFF09u : 0xFF11u; }

std::uint32_t penUsage(std::uint32_t touchUsage, ControllerGeneration gen) {
    if (touchUsage == 0x0B) return 0x0A;
    return gen == ControllerGeneration::R5 ? 0x13u : 0x02u;
}

std::optional<hidlink::CollectionIdentity> findTouchCollection(std::span<const hidlink::CollectionIdentity> found,
                                                               ControllerGeneration gen) {
    for (const auto& id : found) {
        if (!controllerlink::isMakerVendor(id.vendorId) || id.usagePage != touchUsagePage(gen)) continue;
        if (id.usage == 0x11 || id.usage == 0x0B) return id;
    }
    return std::nullopt;
}

hidlink::CollectionIdentity penIdentityFor(const hidlink::CollectionIdentity& touch, ControllerGeneration gen) {
    return {touch.vendorId, touch.productId, touch.usagePage, penUsage(touch.usage, gen)};
}

std::optional<hidlink::CollectionIdentity> findPenCollection(std::span<const hidlink::CollectionIdentity> found,
                                                             const hidlink::CollectionIdentity& touch,
                                                             ControllerGeneration gen) {
    const hidlink::CollectionIdentity want = penIdentityFor(touch, gen);
    for (const auto& id : found)
        if (id == want) return id;
    return std::nullopt;
}

}  // namespace controllerlink
