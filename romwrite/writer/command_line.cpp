#include "romwrite/writer/command_line.h"

#include <algorithm>
#include <cctype>

namespace romwrite {
namespace {

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// 1..15 hex digits whose value fits 16 bits.
std::optional<std::uint32_t> parseNumber(const std::string& digits) {
    if (digits.empty() || digits.size() > kNumberMax) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        v = v * 16 +
            static_cast<std::uint64_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : upper(c) - 'A' + 10);
        if (v > 0xFFFF) return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

bool equalsNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return i == a.size() && b[i] == '\0';
}

SwitchResult refused(std::int32_t result, std::string error) { return {false, std::move(error), result, std::nullopt}; }

// The job a switch asks for, and its number, so that two different requests can be told apart.
struct JobSwitch {
    std::uint32_t kind = JOB_IDLE;
    std::uint32_t number = 0;
    std::string token;
};

}  // namespace

std::string CommandLine::text() const {
    std::string out;
    for (const std::string& t : tokens) {
        if (!out.empty()) out += ' ';
        out += t;
    }
    return out;
}

bool isSwitchToken(const std::string& token) {
    if (token.empty()) return false;
    if (token[0] == '-') return true;
    return token[0] == '/' && token.find('/', 1) == std::string::npos;
}

SwitchResult readSwitches(const CommandLine& line, WriteJob& job, bool embedded) {
    SwitchResult r;
    if (line.text().size() > kCommandLineMax) return refused(kResultLoad, "Command line too long.");
    std::optional<JobSwitch> asked;
    // Every job switch must ask for the same job as the first one.
    auto ask = [&](std::uint32_t kind, std::uint32_t number, const std::string& token) {
        if (!asked) {
            asked = JobSwitch{kind, number, token};
            return true;
        }
        return asked->kind == kind && asked->number == number;
    };
    for (const std::string& t : line.tokens) {
        if (t.empty()) continue;
        if (!isSwitchToken(t)) {
            if (!embedded) r.file = t;
            continue;
        }
        const std::string arg = t.size() < 2 ? std::string() : t.substr(2);
        const char letter = t.size() < 2 ? '\0' : upper(t[1]);
        std::uint32_t kind = JOB_IDLE;
        std::uint32_t number = 0;
        switch (letter) {
            case 'A':
                job.autoApply = true;
                break;
            case 'C': {
                const auto v = parseNumber(arg);
                if (!v) return refused(kResultLoad, "Command line error.");
                kind = JOB_CHECKSUM;
                number = *v;
                job.silent = true;
                job.autoExit = true;
                break;
            }
            case 'F':
                if (arg == "0")
                    kind = JOB_WRITE;
                else if (arg == "1")
                    kind = JOB_FORCE_WRITE;
                else if (arg == "2")
                    kind = JOB_ENC_WRITE;
                else if (!embedded)
                    return refused(kResultUnknownSwitch, "Command line error. Unknown switch " + t + ".");
                job.autoExit = true;
                break;
            case 'L':
                job.logOn = true;
                break;
            case 'S':
                job.silent = true;
                break;
            case 'V': {
                const auto v = parseNumber(arg);
                if (!v) return refused(kResultLoad, "Command line error.");
                kind = JOB_VERSION_CHECK;
                number = *v;
                job.silent = true;
                break;
            }
            default:
                if (!embedded) return refused(kResultUnknownSwitch, "Command line error. Unknown switch " + t + ".");
                break;
        }
        if (kind == JOB_IDLE) continue;
        if (!ask(kind, number, t))
            return refused(kResultTwoJobs, "Command line error. " + asked->token + " and " + t + " ask for two jobs.");
        job.kind = kind;
        if (kind == JOB_CHECKSUM) job.image.checksum = number;
        if (kind == JOB_VERSION_CHECK) job.image.fileVersion = number;
    }
    return r;
}

void readEmbeddedWords(const CommandLine& line, WriteJob& job) {
    for (const std::string& t : line.tokens) {
        if (t.size() < 2 || (t[0] != '/' && t[0] != '-')) continue;
        const std::string word = t.substr(1);
        if (equalsNoCase(word, "forcerestart")) job.forceRestart = true;
        if (equalsNoCase(word, "silent")) job.silent = true;
    }
}

}  // namespace romwrite
