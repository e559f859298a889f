#include "controllerlink/feature_transfer.h"

#include <algorithm>
#include <array>

namespace controllerlink {
namespace {

std::uint8_t wrapperTag(std::uint32_t usage) { return static_cast<std::uint8_t>(0xB0u | (usage & 0x0Fu)); }

// The driver passes these two through as they are: the home-key mode switch and the
// bootloader's 263-byte block write.
bool sentUnwrapped(std::size_t length, std::span<const std::uint8_t> buffer) {
    if (length == 2 && buffer[0] == 3) return true;
    return length == 263 && buffer[0] == 15 && buffer[3] == 2;
}

}  // namespace

bool getFeature(hidlink::DeviceTable& table, std::uint8_t reportId, std::size_t length, std::span<std::uint8_t> buffer,
                int key) {
    // The handle keeps the entry alive through the transfer, whoever closes the key meanwhile.
    const auto c = table.entry(key);
    if (c == nullptr || length == 0 || length > buffer.size()) return false;
    const std::uint32_t usage = c->info().identity.usage;
    if (!usesWrapper(usage)) {
        std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length), std::uint8_t{0});
        buffer[0] = reportId;
        return c->getFeature(buffer.first(length));
    }
    if (length > kWrapperLength - kWrapperHeader) return false;
    std::array<std::uint8_t, kWrapperLength> wrapped{};
    wrapped[0] = wrapperTag(usage);
    wrapped[1] = static_cast<std::uint8_t>(length >> 8);
    wrapped[2] = static_cast<std::uint8_t>(length & 0xFF);
    wrapped[3] = reportId;
    // The answer repeats the header: the asked report starts at byte 3. An answer carrying
    // another report (a transport that drops the request header gets whatever the device
    // serves next) must not pass for the one asked.
    if (!c->getFeature(wrapped) || wrapped[kWrapperHeader] != reportId) return false;
    std::copy_n(wrapped.begin() + kWrapperHeader, length, buffer.begin());
    return true;
}

bool setFeature(hidlink::DeviceTable& table, std::size_t length, std::span<const std::uint8_t> buffer, int key) {
    const auto c = table.entry(key);
    if (c == nullptr || length == 0 || length > buffer.size()) return false;
    const std::uint32_t usage = c->info().identity.usage;
    if (!usesWrapper(usage) || sentUnwrapped(length, buffer)) return c->setFeature(buffer.first(length));
    if (length > kWrapperLength - kWrapperHeader) return false;
    std::array<std::uint8_t, kWrapperLength> wrapped{};
    wrapped[0] = wrapperTag(usage);
    wrapped[1] = static_cast<std::uint8_t>(length >> 8);
    wrapped[2] = static_cast<std::uint8_t>(length & 0xFF);
    std::copy_n(buffer.begin(), length, wrapped.begin() + kWrapperHeader);
    return c->setFeature(wrapped);
}

}  // namespace controllerlink
