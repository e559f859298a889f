#include "intelhex/hex_reader.h"

#include <algorithm>
#include <cstring>

namespace intelhex {

namespace {

constexpr std::array<std::int16_t, 256> makeHexTable() {
    std::array<std::int16_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(c - 'a' + 10);
    return t;
}
constexpr auto kHexValue = makeHexTable();

// Payload bytes after the header: fixed by the type for 01-05, whose count field is not used.
std::size_t fixedPayloadBytes(std::uint8_t type) {
    switch (type) {
        case 2:
        case 4:
            return 2;
        case 3:
        case 5:
            return 4;
        default:
            return 0;
    }
}

}  // namespace

std::string HexFault::text() const { return line == 0 ? what : "line " + std::to_string(line) + ": " + what; }

bool HexRecordReader::fail(std::string what) {
    failed_ = true;
    fault_.line = line_;
    fault_.what = std::move(what);
    return false;
}

bool HexRecordReader::hexByte(std::uint8_t& value, std::uint8_t& sum) {
    if (text_.size() - pos_ < 2) return fail("record cut short");
    const int hi = kHexValue[static_cast<unsigned char>(text_[pos_])];
    const int lo = kHexValue[static_cast<unsigned char>(text_[pos_ + 1])];
    if (hi < 0 || lo < 0) {
        if (text_[pos_] == '\0' || text_[pos_ + 1] == '\0') return fail("NUL byte");
        return fail("not a hex digit in a record");
    }
    value = static_cast<std::uint8_t>(hi << 4 | lo);
    sum = static_cast<std::uint8_t>(sum + value);
    pos_ += 2;
    return true;
}

bool HexRecordReader::nextData(HexDataRecord& out) {
    if (failed_) return false;
    for (;;) {
        // Skip to the next ':'; count lines on the way.
        while (pos_ < text_.size() && text_[pos_] != ':') {
            const char c = text_[pos_];
            if (c == '\0' && nulBytes_ == HexNulBytes::Fail) return fail("NUL byte");
            if (c == '\n') ++line_;
            ++pos_;
        }
        if (pos_ >= text_.size()) return false;
        ++pos_;

        std::uint8_t sum = 0, count = 0, addrHi = 0, addrLo = 0, type = 0;
        if (!hexByte(count, sum) || !hexByte(addrHi, sum) || !hexByte(addrLo, sum) || !hexByte(type, sum)) return false;
        if (type > 5) {
            char buf[48];
            std::snprintf(buf, sizeof buf, "record type 0x%02X", static_cast<unsigned>(type));
            return fail(buf);
        }
        const std::size_t payload = type == 0 ? count : fixedPayloadBytes(type);
        std::uint32_t value = 0;
        for (std::size_t j = 0; j < payload; ++j) {
            std::uint8_t b = 0;
            if (!hexByte(b, sum)) return false;
            if (type == 0)
                data_[j] = b;
            else
                value = value << 8 | b;
        }
        std::uint8_t check = 0;
        if (!hexByte(check, sum)) return false;
        if (sum != 0) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "record checksum 0x%02X, expected 0x%02X", static_cast<unsigned>(check),
                          static_cast<unsigned>(static_cast<std::uint8_t>(check - sum)));
            return fail(buf);
        }
        const std::string_view rest = text_.substr(pos_);
        if (rest.starts_with("\r\n")) {
            pos_ += 2;
        } else if (lineEnds_ == HexLineEnds::CrLfOrLf && rest.starts_with('\n')) {
            pos_ += 1;
        } else {
            return fail(lineEnds_ == HexLineEnds::CrLf ? "record not followed by CR LF"
                                                       : "record not followed by a line end");
        }
        const std::uint16_t address = static_cast<std::uint16_t>(addrHi << 8 | addrLo);
        recordLine_ = line_++;
        switch (type) {
            case 0:
                out.absolute = address + base_;
                out.bytes = std::span<const std::uint8_t>(data_.data(), count);
                return true;
            case 1:
                sawEnd_ = true;
                break;
            case 2:
                base_ = value << 4;
                break;
            case 4:
                base_ = value << 16;
                break;
            default:
                break;  // start addresses change nothing
        }
    }
}

std::uint64_t HexPlacement::place(const HexDataRecord& record) {
    if (!haveFirst_) {
        haveFirst_ = true;
        first_ = record.absolute;
    }
    // Unsigned on purpose: data below the first record land far outside any image.
    const std::uint32_t offset = record.absolute - first_;
    const std::int64_t last = static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(record.bytes.size()) - 1;
    highest_ = std::max(highest_, last);
    return offset;
}

}  // namespace intelhex
