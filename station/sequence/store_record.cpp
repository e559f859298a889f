#include "station/sequence/store_record.h"

#include <cstdio>
#include <utility>

#include "results/utc_time.h"

namespace station {

namespace {

// Length of the well-formed UTF-8 sequence at text[pos], or 0.
std::size_t utf8SequenceAt(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
    return length;
}

// A scanner may send bytes that are no text: each such byte becomes U+FFFD, as in the JSON record,
// so that every engine takes the column.
std::string utf8Text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8SequenceAt(text, pos);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++pos;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

}  // namespace

// Read as vorlick-results reads the same times in a result log, so both give one start per check.
std::string localTimeToUtc(std::string_view localTime) {
    return results::stationTimeToUtc(localTime).value_or(std::string());
}

results::CheckResult storeRecord(const CheckRecord& c, const StoreContext& where, std::string recordJson) {
    results::CheckResult r;
    r.stationId = utf8Text(where.stationId);
    r.host = utf8Text(where.host);
    r.recipeFile = utf8Text(where.recipeFile);
    char pid[16];
    std::snprintf(pid, sizeof pid, "%04X", static_cast<unsigned>(where.productId));
    r.productId = pid;
    r.checkNo = c.row.checkNo;
    r.retry = c.row.retryNo;
    r.serialNumber = utf8Text(c.row.serialNo);
    r.verdict = std::string(verdictText(c.verdict));
    // As the JSON record has them: a code and a detail file only with a verdict.
    const bool verdict = c.verdict == Verdict::Ok || c.verdict == Verdict::Ng || c.verdict == Verdict::NoTest;
    if (verdict && c.row.colCode.find_first_not_of(' ') != std::string::npos) r.errorCode = utf8Text(c.row.colCode);
    if (verdict && !c.detailCsv.empty()) r.detailCsv = utf8Text(c.detailCsv);
    r.exitCode = c.exitCode;
    r.startUtc = localTimeToUtc(c.startTime);
    r.endUtc = localTimeToUtc(c.endTime);
    r.elapsedMs = static_cast<std::int64_t>(c.elapsedMs);
    // A controller that never answered leaves its version at zero.
    if (c.firmware.touchFirmwareMajor != 0 || c.firmware.touchFirmwareMinor != 0) {
        char fw[16];
        std::snprintf(fw, sizeof fw, "%04X.%02X", static_cast<unsigned>(c.firmware.touchFirmwareMajor),
                      static_cast<unsigned>(c.firmware.touchFirmwareMinor));
        r.firmwareVersion = fw;
    }
    // The Hsync MCU's version as read ("0x%04X"); the class of a failed read is no version.
    if (c.hsyncVerText.starts_with("0x")) r.hsyncVersion = c.hsyncVerText;
    r.logFolder = utf8Text(where.logFolder);
    r.recordJson = std::move(recordJson);
    return r;
}

}  // namespace station
