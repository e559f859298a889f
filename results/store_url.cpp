#include "results/store_url.h"

namespace results {

namespace {

constexpr std::string_view kSqlitePrefix = "sqlite:";
constexpr std::string_view kMask = "***";

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

// "user:secret@" in the authority after "://" becomes "user:***@".
std::string redactUserInfo(std::string_view text) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t scheme = text.find("://", pos);
        if (scheme == std::string_view::npos) break;
        const std::size_t authority = scheme + 3;
        out.append(text.substr(pos, authority - pos));
        // The authority ends at the path, the query or the fragment; its last '@' ends the user
        // part (a password may itself hold an unescaped '@').
        std::size_t end = text.find_first_of("/?#", authority);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view auth = text.substr(authority, end - authority);
        const std::size_t at = auth.rfind('@');
        const std::size_t colon = at == std::string_view::npos ? std::string_view::npos : auth.find(':');
        if (colon != std::string_view::npos && colon < at) {
            out.append(auth.substr(0, colon + 1));
            out.append(kMask);
            out.append(auth.substr(at));
        } else {
            out.append(auth);
        }
        pos = end;
    }
    out.append(text.substr(pos));
    return out;
}

// "password=secret" (a URI parameter or a key=value connection string) becomes "password=***".
std::string redactPasswordParameters(const std::string& text) {
    static constexpr std::string_view kKey = "password=";
    std::string out;
    std::size_t pos = 0;
    while (true) {
        std::size_t hit = pos;
        // Only the whole key counts: "password=" at the start or after a separator.
        while ((hit = text.find(kKey, hit)) != std::string::npos) {
            if (hit == 0 || text[hit - 1] == '?' || text[hit - 1] == '&' || text[hit - 1] == ' ') break;
            hit += kKey.size();
        }
        if (hit == std::string::npos) break;
        const std::size_t value = hit + kKey.size();
        std::size_t end = text.find_first_of("& #", value);
        if (end == std::string::npos) end = text.size();
        out.append(text, pos, value - pos);
        out.append(kMask);
        pos = end;
    }
    out.append(text, pos, std::string::npos);
    return out;
}

}  // namespace

std::string redactUrl(std::string_view text) { return redactPasswordParameters(redactUserInfo(text)); }

std::optional<StoreUrl> parseStoreUrl(std::string_view text, std::string& why) {
    StoreUrl url;
    url.redacted = redactUrl(text);
    if (startsWith(text, kSqlitePrefix)) {
        url.kind = StoreKind::Sqlite;
        url.target = std::string(text.substr(kSqlitePrefix.size()));
        if (url.target.empty()) {
            why = "results store \"" + url.redacted + "\" names no database file (sqlite:PATH)";
            return std::nullopt;
        }
        return url;
    }
    if (startsWith(text, "postgresql://") || startsWith(text, "postgres://")) {
        url.kind = StoreKind::Postgresql;
        url.target = std::string(text);
        return url;
    }
    why = "results store \"" + url.redacted + "\" is neither sqlite:PATH nor postgresql://…";
    return std::nullopt;
}

}  // namespace results
