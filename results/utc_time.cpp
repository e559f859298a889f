#include "results/utc_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace results {

namespace {

struct Fields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Digits at [pos, pos+count) of `text`, or -1.
int digitsAt(std::string_view text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool valid(const Fields& f) {
    using namespace std::chrono;
    const year_month_day ymd{year{f.year}, month{static_cast<unsigned>(f.month)}, day{static_cast<unsigned>(f.day)}};
    return ymd.ok() && f.hour < 24 && f.minute < 60 && f.second < 60;
}

std::string utcText(const Fields& f) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return text;
}

std::optional<std::string> localToUtc(const Fields& f) {
    if (!valid(f)) return std::nullopt;
    std::tm local{};
    local.tm_year = f.year - 1900;
    local.tm_mon = f.month - 1;
    local.tm_mday = f.day;
    local.tm_hour = f.hour;
    local.tm_min = f.minute;
    local.tm_sec = f.second;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1)) return std::nullopt;
    std::tm utc{};
    if (gmtime_r(&when, &utc) == nullptr) return std::nullopt;
    const Fields out{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
    if (out.year < 0 || out.year > 9999) return std::nullopt;
    return utcText(out);
}

// "YYYY?MM?DD" with the given separator.
bool dateAt(std::string_view t, char separator, Fields& f) {
    if (t.size() < 10 || t[4] != separator || t[7] != separator) return false;
    f.year = digitsAt(t, 0, 4);
    f.month = digitsAt(t, 5, 2);
    f.day = digitsAt(t, 8, 2);
    return f.year >= 0 && f.month >= 0 && f.day >= 0;
}

// "HH:MM" or "HH:MM:SS" at the start of `t`; the characters used.
std::size_t timeAt(std::string_view t, Fields& f) {
    if (t.size() < 5 || t[2] != ':') return 0;
    f.hour = digitsAt(t, 0, 2);
    f.minute = digitsAt(t, 3, 2);
    if (f.hour < 0 || f.minute < 0) return 0;
    if (t.size() >= 8 && t[5] == ':') {
        f.second = digitsAt(t, 6, 2);
        return f.second < 0 ? 0 : 8;
    }
    f.second = 0;
    return 5;
}

}  // namespace

std::optional<std::string> stationTimeToUtc(std::string_view t) {
    Fields f;
    if (t.size() != 19 || !dateAt(t, '/', f) || t[10] != ' ' || timeAt(t.substr(11), f) != 8) return std::nullopt;
    return localToUtc(f);
}

std::optional<std::string> parseTimeBound(std::string_view t) {
    Fields f;
    const char separator = t.size() > 4 ? t[4] : '-';
    if ((separator != '-' && separator != '/') || !dateAt(t, separator, f)) return std::nullopt;
    if (t.size() == 10) {
        if (separator != '-' || !valid(f)) return std::nullopt;
        return utcText(f);
    }
    if (t[10] != 'T' && t[10] != ' ') return std::nullopt;
    const std::size_t used = timeAt(t.substr(11), f);
    if (used == 0) return std::nullopt;
    const std::string_view rest = t.substr(11 + used);
    if (rest == "Z" && separator == '-' && t[10] == 'T') {
        if (!valid(f)) return std::nullopt;
        return utcText(f);
    }
    if (!rest.empty()) return std::nullopt;
    return localToUtc(f);
}

}  // namespace results
