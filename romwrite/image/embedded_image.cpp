#include "romwrite/image/embedded_image.h"

#include <algorithm>

namespace romwrite {

namespace {

// The placeholder's signature: its first 32 bytes add up to this.
constexpr std::uint32_t kPlaceholderSum = 3006;

std::uint32_t le32(std::span<const std::uint8_t> r, std::size_t at) {
    return static_cast<std::uint32_t>(r[at]) | static_cast<std::uint32_t>(r[at + 1]) << 8 |
           static_cast<std::uint32_t>(r[at + 2]) << 16 | static_cast<std::uint32_t>(r[at + 3]) << 24;
}

std::uint16_t le16(std::span<const std::uint8_t> r, std::size_t at) {
    return static_cast<std::uint16_t>(r[at] | r[at + 1] << 8);
}

}  // namespace

bool hasEmbeddedImage(std::span<const std::uint8_t> resource) {
    if (resource.size() < 4 || le32(resource, 0) == 0) return false;
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < std::min<std::size_t>(32, resource.size()); ++k) sum += resource[k];
    return sum != kPlaceholderSum;
}

bool hasEmbeddedImage() { return hasEmbeddedImage(embeddedResource()); }

bool loadEmbeddedImage(std::span<const std::uint8_t> resource, FirmwareImage& image, EmbeddedOptions& options,
                       std::string& errorText) {
    image.valid = false;
    if (resource.size() < kEmbHeaderSize || le32(resource, 0) == 0) {
        errorText = "No embedded data.";
        return false;
    }
    const std::uint64_t payload = le32(resource, 0);
    const std::uint64_t size = (payload + kImageBlock - 1) / kImageBlock * kImageBlock;
    // A header that claims more bytes than the resource holds is as bad as an oversize image.
    if (size >= kImageCapacity || payload > resource.size() - kEmbHeaderSize) {
        errorText = "Data size error.";
        return false;
    }
    if (le32(resource, 4) != kImageStart) {
        errorText = "Start address error.";
        return false;
    }
    image.bytes.assign(kImageCapacity, 0xFF);
    std::copy_n(resource.begin() + kEmbHeaderSize, payload, image.bytes.begin());
    image.start = kImageStart;
    image.size = static_cast<std::uint32_t>(size);
    image.checksum = imageChecksum(image.bytes.data(), image.size);

    const std::uint16_t pid = le16(resource, 8);
    const std::uint16_t version = le16(resource, 10);
    image.lockedPid = 0;
    image.fileVersion = 0;
    image.encCapable = pid != 0 && version != 0;
    if (image.encCapable) {
        image.lockedPid = pid;
        image.fileVersion = version;
    }

    const std::uint16_t flags = le16(resource, 14);
    if ((flags & kEmbRequireEnc) && !image.encCapable) {
        errorText = "EMB data error.";
        return false;
    }
    options = EmbeddedOptions{};
    options.flags = flags;
    options.kind = (flags & kEmbRequireEnc) ? JOB_ENC_WRITE : (flags & kEmbForceWrite) ? JOB_FORCE_WRITE : JOB_WRITE;
    options.setSecurity = flags & kEmbSetSecurity;
    options.autoApply = flags & kEmbAutoApply;
    options.log = flags & kEmbLog;
    options.autoExit = flags & kEmbAutoExit;
    options.completionBox = flags & kEmbCompletionBox;
    options.pidLock = flags & kEmbPidLock;
    options.exitOnError = flags & kEmbExitOnError;
    options.embeddedMode = flags & kEmbEmbeddedMode;

    // An embedded image always runs as a plain logged write that exits when done, whatever
    // the header asked for.
    options.kind = JOB_WRITE;
    options.setSecurity = false;
    options.autoApply = false;
    image.encCapable = false;
    options.autoExit = true;
    options.log = true;

    image.valid = true;
    return true;
}

bool loadEmbeddedImage(FirmwareImage& image, EmbeddedOptions& options, std::string& errorText) {
    return loadEmbeddedImage(embeddedResource(), image, options, errorText);
}

}  // namespace romwrite
