#pragma once
// Builds HEX text record by record, computing each record's checksum here, independently of
// the reader under test.
#include <cstdint>
#include <string>
#include <vector>

namespace hexfixture {

// A record whose count field says `count`, whatever the payload holds.
inline std::string rawRecord(std::uint8_t count, int type, std::uint16_t address,
                             const std::vector<std::uint8_t>& payload, const char* lineEnd = "\r\n") {
    static const char* digits = "0123456789ABCDEF";
    std::vector<std::uint8_t> body{count, static_cast<std::uint8_t>(address >> 8),
                                   static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(type)};
    body.insert(body.end(), payload.begin(), payload.end());
    unsigned sum = 0;
    for (auto b : body) sum += b;
    body.push_back(static_cast<std::uint8_t>(-sum & 0xFF));
    std::string s = ":";
    for (auto b : body) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s + lineEnd;
}

inline std::string record(int type, std::uint16_t address, const std::vector<std::uint8_t>& payload,
                          const char* lineEnd = "\r\n") {
    return rawRecord(static_cast<std::uint8_t>(payload.size()), type, address, payload, lineEnd);
}

inline std::string eof() { return record(1, 0, {}); }
inline std::string linear(std::uint16_t upper) {
    return record(4, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}
inline std::string segment(std::uint16_t seg) {
    return record(2, 0, {static_cast<std::uint8_t>(seg >> 8), static_cast<std::uint8_t>(seg)});
}

// `count` bytes of `value` from absolute address `from`, 16 to a record, with extended linear
// address records where the upper half changes.
inline std::string fill(std::uint32_t from, std::uint32_t count, std::uint8_t value) {
    std::string s;
    std::uint32_t upper = 0;
    for (std::uint32_t a = from; a < from + count;) {
        if (a >> 16 != upper) {
            upper = a >> 16;
            s += linear(static_cast<std::uint16_t>(upper));
        }
        std::uint32_t n = std::min<std::uint32_t>({16, from + count - a, 0x10000 - (a & 0xFFFF)});
        s += record(0, static_cast<std::uint16_t>(a & 0xFFFF), std::vector<std::uint8_t>(n, value));
        a += n;
    }
    return s;
}

}  // namespace hexfixture
