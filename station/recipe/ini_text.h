#pragma once
// Small text rules of recipe and table files. Recipes are written by hand on the line, so the
// conversions copy what the C library does with odd input (quotes, octal, trailing junk)
// instead of rejecting it.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace station::ini {

// C-locale white space (blank, tab, CR, LF, VT, FF).
bool isSpace(char c);
std::string_view trim(std::string_view s);

// atoi: leading white space, optional sign, digits up to the first non-digit; no digits is 0.
// Out-of-range values clamp to the 32-bit limits instead of overflowing.
std::int32_t decValue(std::string_view s);
// strtol with base 0 ("0x" hex, leading "0" octal, else decimal), clamped to 32 bits.
std::int32_t numValue(std::string_view s);
// atof: decimal, optional sign, fraction and exponent; no number is 0. Always a decimal point,
// whatever language the process runs in.
double realValue(std::string_view s);

// The value with white space trimmed on both sides and every double quote deleted.
std::string cleanValue(std::string_view raw);

// Comma-separated parts; an empty value has no parts, an empty part between commas is kept.
std::vector<std::string_view> splitList(std::string_view value);

// One recipe line after trimming and comment removal.
struct IniLine {
    enum class Kind { Empty, Header, Entry };
    Kind kind = Kind::Empty;
    std::string_view text;  // the whole line as the parser sees it
    std::string_view key;   // Entry: text before the first "=", exactly as written
    std::string_view raw;   // Entry: text after the first "="
};
IniLine splitIniLine(std::string_view line);

// Reads the "0x" values of one [XLUT]/[YLUT] line into `table` from position `counter` on and
// advances the counter by the number of values; values past the table are counted, not stored.
void readLutLine(std::string_view line, std::span<std::uint16_t> table, std::int64_t& counter);

// Splits file content into lines at LF, dropping a CR before it.
template <typename Fn>
void forEachLine(std::string_view content, Fn&& fn) {
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        fn(line);
        pos = next;
    }
}

}  // namespace station::ini
