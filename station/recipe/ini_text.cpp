#include "station/recipe/ini_text.h"

#include <locale.h>
#include <stdlib.h>

#include <cstdlib>
#include <limits>

namespace station::ini {

namespace {

constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Digits of `base` from `pos` on, saturating once past the 32-bit range.
std::int32_t readDigits(std::string_view s, std::size_t pos, int base, bool negative) {
    std::int64_t magnitude = 0;
    for (; pos < s.size(); ++pos) {
        const int d = digitValue(s[pos]);
        if (d >= base) break;
        if (magnitude <= kMax32 + 1) magnitude = magnitude * base + d;
    }
    if (negative) return static_cast<std::int32_t>(-magnitude < kMin32 ? kMin32 : -magnitude);
    return static_cast<std::int32_t>(magnitude > kMax32 ? kMax32 : magnitude);
}

std::size_t skipSpaceAndSign(std::string_view s, bool& negative) {
    std::size_t pos = 0;
    while (pos < s.size() && isSpace(s[pos])) ++pos;
    negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        negative = s[pos] == '-';
        ++pos;
    }
    return pos;
}

}  // namespace

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::int32_t decValue(std::string_view s) {
    bool negative = false;
    const std::size_t pos = skipSpaceAndSign(s, negative);
    return readDigits(s, pos, 10, negative);
}

std::int32_t numValue(std::string_view s) {
    bool negative = false;
    std::size_t pos = skipSpaceAndSign(s, negative);
    int base = 10;
    if (pos < s.size() && s[pos] == '0') {
        // "0x" only counts as a prefix when a hex digit follows, as in strtol.
        if (pos + 2 < s.size() && (s[pos + 1] == 'x' || s[pos + 1] == 'X') && digitValue(s[pos + 2]) < 16) {
            base = 16;
            pos += 2;
        } else {
            base = 8;
        }
    }
    return readDigits(s, pos, base, negative);
}

double realValue(std::string_view s) {
    // Recipes and tables are written with a decimal point. A GUI toolkit switches the C library
    // to the desktop's language, where strtod would stop at the "." of 7.5 on a German desk.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    // strtod needs a terminated string; values are short, so a copy is cheap.
    const std::string copy(s);
    if (cLocale == locale_t{}) return std::strtod(copy.c_str(), nullptr);
    return strtod_l(copy.c_str(), nullptr, cLocale);
}

std::string cleanValue(std::string_view raw) {
    const std::string_view t = trim(raw);
    std::string out;
    out.reserve(t.size());
    for (char c : t)
        if (c != '"') out.push_back(c);
    return out;
}

std::vector<std::string_view> splitList(std::string_view value) {
    std::vector<std::string_view> parts;
    if (value.empty()) return parts;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = value.find(',', pos);
        if (comma == std::string_view::npos) {
            parts.push_back(value.substr(pos));
            return parts;
        }
        parts.push_back(value.substr(pos, comma - pos));
        pos = comma + 1;
    }
}

IniLine splitIniLine(std::string_view line) {
    IniLine out;
    line = trim(line);
    // Blanks before the ";" stay: "[XLUT] ;x" is not the [XLUT] header.
    if (const std::size_t semi = line.find(';'); semi != std::string_view::npos) line = line.substr(0, semi);
    out.text = line;
    if (line.empty()) return out;
    if (line.front() == '[' || line.front() == ']') {
        out.kind = IniLine::Kind::Header;
        return out;
    }
    out.kind = IniLine::Kind::Entry;
    if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
        out.key = line.substr(0, eq);
        out.raw = line.substr(eq + 1);
    }
    return out;
}

void readLutLine(std::string_view line, std::span<std::uint16_t> table, std::int64_t& counter) {
    std::size_t pos = 0;
    while ((pos = line.find("0x", pos)) != std::string_view::npos) {
        pos += 2;
        unsigned value = 0;
        // A value is "0x" and the four characters after it; reading stops at a non-hex one.
        // Every "0x" starts a value, also one inside those four characters ("0x0100x0200").
        for (std::size_t i = pos; i < pos + 4 && i < line.size(); ++i) {
            const int d = digitValue(line[i]);
            if (d >= 16) break;
            value = value * 16 + static_cast<unsigned>(d);
        }
        if (counter >= 0 && counter < static_cast<std::int64_t>(table.size()))
            table[static_cast<std::size_t>(counter)] = static_cast<std::uint16_t>(value);
        ++counter;
    }
}

}  // namespace station::ini
