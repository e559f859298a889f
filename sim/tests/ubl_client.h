#pragma once
// A scripted bootloader client written from the exchanges the writer and the bootloader agree
// on: command report 7 (address and data in the block layout, two check bytes on short frames),
// response report 8 polled while it answers busy, the 1024-byte wrapper on usage 0x0B. Nothing
// of the writer's own code.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hidlink/backend.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

class UblClient {
public:
    enum class Frames : std::uint8_t { F11, F09Long, F09Short };
    static constexpr std::uint32_t kStart = 0x8000;
    static constexpr std::uint8_t kBusy = 0x80;

    explicit UblClient(hidlink::Backend& backend) : backend_(backend) {}

    // Opens the first collection on (page, usage); wrapped when the usage is 0x0B.
    bool open(std::uint16_t page, std::uint16_t usage, Frames frames) {
        std::vector<hidlink::CollectionDesc> all;
        if (!backend_.enumerate(all, 51)) return false;
        for (const auto& d : all) {
            if (d.identity.usagePage != page || d.identity.usage != usage) continue;
            link_ = backend_.open(d, hidlink::OpenMode::Feature);
            productId = static_cast<std::uint16_t>(d.identity.productId);
            version = d.versionNumber;
            frames_ = frames;
            wrapped_ = usage == 0x0B;
            return link_ != nullptr;
        }
        return false;
    }
    void close() { link_.reset(); }

    std::size_t commandLength() const { return frames_ == Frames::F11 ? 257 : frames_ == Frames::F09Long ? 520 : 74; }
    std::size_t responseLength() const { return frames_ == Frames::F09Short ? 4 : 136; }
    std::uint32_t blockBytes() const { return frames_ == Frames::F11 ? 128 : frames_ == Frames::F09Long ? 512 : 64; }

    bool set(const Bytes& report) {
        if (!link_) return false;
        if (!wrapped_) return link_->setFeature(report);
        return link_->setFeature(wrap(report, report.size()));
    }
    // The report `id` of `length` bytes (id first); empty when refused.
    Bytes get(std::uint8_t id, std::size_t length) {
        if (!link_) return {};
        if (!wrapped_) {
            Bytes r(length, 0);
            r[0] = id;
            return link_->getFeature(r) ? r : Bytes{};
        }
        Bytes w = wrap({id}, length);
        if (!link_->getFeature(w)) return {};
        return Bytes(w.begin() + 3, w.begin() + 3 + static_cast<std::ptrdiff_t>(length));
    }

    bool enterUbl() { return set({0x02, 0x02}); }

    // Report 7: code, byte 2, bytes 3.. as given, data from byte 8, and check bytes on short frames.
    Bytes frame(std::uint8_t code, std::uint8_t byte2, const Bytes& params = {}, const Bytes& data = {}) const {
        Bytes f(commandLength(), 0);
        f[0] = 0x07;
        f[1] = code;
        f[2] = byte2;
        for (std::size_t i = 0; i < params.size() && 3 + i < 8; ++i) f[3 + i] = params[i];
        for (std::size_t i = 0; i < data.size() && 8 + i < f.size(); ++i) f[8 + i] = data[i];
        if (frames_ == Frames::F09Short) {
            unsigned header = 0x51, body = 0;
            for (std::size_t i = 0; i < 8; ++i) header += f[i];
            for (std::size_t i = 8; i < 72; ++i) body += f[i];
            f[72] = static_cast<std::uint8_t>(0u - header);
            f[73] = static_cast<std::uint8_t>(0u - body);
        }
        return f;
    }
    Bytes blockFrame(std::uint8_t code, std::uint8_t sequence, std::uint32_t address, const Bytes& image,
                     std::size_t offset) const {
        const Bytes data(image.begin() + static_cast<std::ptrdiff_t>(offset),
                         image.begin() + static_cast<std::ptrdiff_t>(offset + blockBytes()));
        return frame(code, sequence,
                     {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                      static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24),
                      static_cast<std::uint8_t>(blockBytes() / 8)},
                     data);
    }

    struct Answer {
        bool sent = false;
        bool answered = false;  // a get succeeded and the status stopped being busy
        bool echoed = false;    // bytes 1 and 2 echo the command
        std::uint8_t status = 0;
        std::uint32_t busy = 0;  // busy answers before the last one
    };
    // Sends the frame and polls report 8 until it stops answering busy, at most `polls` gets.
    Answer transact(const Bytes& f, std::uint32_t polls = 1000) {
        Answer a;
        a.sent = set(f);
        if (!a.sent) return a;
        for (std::uint32_t i = 0; i < polls; ++i) {
            const Bytes r = get(0x08, responseLength());
            if (r.size() < 4) return a;
            a.echoed = r[1] == f[1] && r[2] == f[2];
            a.status = r[3];
            if (r[3] != kBusy) {
                a.answered = true;
                return a;
            }
            ++a.busy;
        }
        return a;
    }
    Answer command(std::uint8_t code, const Bytes& params = {}, std::uint8_t byte2 = 0) {
        return transact(frame(code, byte2, params));
    }

    // Every block of `image` with `code`, sequence 1, 2, ... 255, 0, 1, ...; stops at the first
    // block that is not answered 0 and reports its index in `failedAt`.
    bool writeImage(std::uint8_t code, const Bytes& image, std::size_t& failedAt, Answer& last) {
        std::uint8_t sequence = 0;
        for (std::size_t offset = 0, n = 0; offset < image.size(); offset += blockBytes(), ++n) {
            sequence = static_cast<std::uint8_t>(sequence + 1);
            last = transact(blockFrame(code, sequence, kStart + static_cast<std::uint32_t>(offset), image, offset));
            if (!last.answered || !last.echoed || last.status != 0) {
                failedAt = n;
                return false;
            }
        }
        return true;
    }

    std::uint16_t productId = 0;
    std::uint16_t version = 0;

private:
    // [0xBB, length >> 8, length & 0xFF, report...] padded to 1024 bytes.
    static Bytes wrap(const Bytes& report, std::size_t length) {
        Bytes w(1024, 0);
        w[0] = 0xBB;
        w[1] = static_cast<std::uint8_t>(length >> 8);
        w[2] = static_cast<std::uint8_t>(length & 0xFF);
        for (std::size_t i = 0; i < report.size() && 3 + i < w.size(); ++i) w[3 + i] = report[i];
        return w;
    }

    hidlink::Backend& backend_;
    std::unique_ptr<hidlink::Connection> link_;
    Frames frames_ = Frames::F11;
    bool wrapped_ = false;
};

}  // namespace simtest
