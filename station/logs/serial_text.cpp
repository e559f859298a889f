#include "station/logs/serial_text.h"

#include <cstdint>

namespace station {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void appendHex(std::string& out, unsigned char c) {
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

bool keptInFileName(unsigned char c) {
    if (c < 0x20 || c > 0x7E) return false;
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
        case '%':
            return false;
        default:
            return true;
    }
}

// FNV-1a, 32 bits: enough to tell two cut names apart.
std::uint32_t nameHash(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

}  // namespace

std::string csvField(std::string_view text) {
    bool quote = false;
    for (const char c : text)
        if (c == ',' || c == '"' || isControl(static_cast<unsigned char>(c))) quote = true;
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string visibleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (isControl(b)) {
            out += "\\x";
            appendHex(out, b);
        } else {
            out += c;
        }
    }
    return out;
}

std::string fileNameSerial(std::string_view serial, std::size_t limit) {
    std::string out;
    out.reserve(serial.size());
    // Where each byte of the serial number starts in `out`, so a cut never splits a "%XX".
    std::size_t cut = 0;
    constexpr std::size_t kMark = 9;  // "~" and eight hex digits
    for (const char c : serial) {
        const auto b = static_cast<unsigned char>(c);
        if (keptInFileName(b)) {
            out += c;
        } else {
            out += '%';
            appendHex(out, b);
        }
        if (out.size() + kMark <= limit) cut = out.size();
    }
    if (out.size() <= limit) return out;
    out.resize(cut);
    out += '~';
    const std::uint32_t h = nameHash(serial);
    for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(h >> shift) & 0x0F];
    return out;
}

}  // namespace station
