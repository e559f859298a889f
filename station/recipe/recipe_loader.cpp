#include "station/recipe/recipe_loader.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/file_reader.h"
#include "station/recipe/ini_text.h"
#include "station/recipe/recipe_keys.h"
#include "station/recipe/recipe_paths.h"
#include "station/recipe/threshold_tables.h"

namespace station {

namespace {

enum class Section { General, Xlut, Ylut, SerialNumber, Extra };

Section sectionOf(DumpSection d) {
    switch (d) {
        case DumpSection::SerialNumber:
            return Section::SerialNumber;
        case DumpSection::Extra:
            return Section::Extra;
        default:
            return Section::General;
    }
}

const KeySpec* findKey(std::string_view key) {
    static const auto byName = [] {
        std::unordered_map<std::string_view, const KeySpec*> m;
        for (const KeySpec& k : recipeKeys()) m.emplace(k.key, &k);
        return m;
    }();
    const auto it = byName.find(key);
    return it == byName.end() ? nullptr : it->second;
}

std::string hexText(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
    return buf;
}

std::int32_t toFlag(std::int32_t v) { return v != 0 ? 1 : 0; }

class Parser {
public:
    Parser(RecipeSettings& s, const RecipeEnvironment& env, std::vector<std::string>& messages)
        : s_(s), env_(env), messages_(messages) {}

    void line(std::string_view rawLine) {
        ++lineNo_;
        const ini::IniLine l = ini::splitIniLine(rawLine);
        switch (l.kind) {
            case ini::IniLine::Kind::Empty:
                return;
            case ini::IniLine::Kind::Header:
                header(l.text);
                return;
            case ini::IniLine::Kind::Entry:
                break;
        }
        if (section_ == Section::Xlut) {
            ini::readLutLine(l.text, s_.XLUT, lutCounter_);
            s_.xlutCount = lutCounter_;
            s_.xlutGiven = true;
            return;
        }
        if (section_ == Section::Ylut) {
            ini::readLutLine(l.text, s_.YLUT, lutCounter_);
            s_.ylutCount = lutCounter_;
            s_.ylutGiven = true;
            return;
        }
        if (l.key.empty()) return;
        const KeySpec* spec = findKey(l.key);
        if (spec == nullptr || sectionOf(spec->section) != section_) return;
        apply(*spec, l);
    }

    std::int64_t errors() const { return errors_; }

private:
    void header(std::string_view text) {
        if (text == "[XLUT]")
            section_ = Section::Xlut;
        else if (text == "[YLUT]")
            section_ = Section::Ylut;
        else if (text == "[S/N]")
            section_ = Section::SerialNumber;
        else if (text == "[EXTRA_SETTING]")
            section_ = Section::Extra;
        else
            section_ = Section::General;
        lutCounter_ = 0;
    }

    void error(const std::string& message) {
        messages_.push_back(message);
        ++errors_;
    }

    void trace(std::string_view text) {
        if (env_.debugTrace) env_.debugTrace(text);
    }

    void apply(const KeySpec& spec, const ini::IniLine& l) {
        const std::string clean = ini::cleanValue(l.raw);
        const std::int32_t dec = ini::decValue(l.raw);
        auto i32 = [&]() -> std::int32_t& { return s_.*std::get<std::int32_t RecipeSettings::*>(spec.field); };
        switch (spec.kind) {
            case KeyKind::Dec:
                i32() = dec;
                break;
            case KeyKind::Dec16:
                s_.*std::get<std::uint16_t RecipeSettings::*>(spec.field) = static_cast<std::uint16_t>(dec);
                break;
            case KeyKind::Flag:
            case KeyKind::Alias:
                i32() = toFlag(dec);
                break;
            case KeyKind::Byte:
                s_.*std::get<std::uint8_t RecipeSettings::*>(spec.field) =
                    static_cast<std::uint8_t>(ini::decValue(clean));
                break;
            case KeyKind::Num:
                i32() = ini::numValue(clean);
                break;
            case KeyKind::Num16:
                s_.*std::get<std::uint16_t RecipeSettings::*>(spec.field) =
                    static_cast<std::uint16_t>(ini::numValue(clean));
                break;
            case KeyKind::Real:
                s_.*std::get<float RecipeSettings::*>(spec.field) = static_cast<float>(ini::realValue(clean));
                break;
            case KeyKind::Text:
            case KeyKind::Path:
                s_.*std::get<std::string RecipeSettings::*>(spec.field) = clean;
                break;
            case KeyKind::SerialPattern:
                s_.SN_STRING = clean;
                s_.snPatternGiven = true;
                break;
            case KeyKind::DecMax2:
                i32() = std::min(dec, 2);
                break;
            case KeyKind::DecAbove1:
                if (dec > 1) i32() = dec;
                break;
            case KeyKind::Dec0To31:
                i32() = std::clamp(dec, 0, 31);
                break;
            case KeyKind::DecMin1:
                i32() = std::max(dec, 1);
                break;
            case KeyKind::StartTrigger:
                if (dec < 6) {
                    s_.*std::get<StartTrigger RecipeSettings::*>(spec.field) = static_cast<StartTrigger>(dec);
                } else {
                    error("Ini Error: (" + std::to_string(lineNo_) + ") '" + std::string(l.text) + "'");
                }
                break;
            case KeyKind::Cpu:
                if (clean == "R5") {
                    s_.CPU = kCpuR5;
                    trace("> CPU : R5\n");
                } else if (clean == "R6") {
                    s_.CPU = kCpuR6;
                    trace("> CPU : R6\n");
                } else {
                    trace("> CPU : unknown\n");
                }
                break;
            case KeyKind::DrawBit:
                if (dec != 0) s_.drawDisableMask |= spec.bit;
                break;
            case KeyKind::Tps:
                s_.TIPC_TPS = static_cast<std::uint8_t>(dec & 0xFF);
                s_.tpsGiven = true;
                break;
            case KeyKind::IgnoreLines:
                ignoreLines(clean);
                break;
            case KeyKind::NoiseThresholds:
                noiseThresholds(clean);
                break;
            case KeyKind::HomeKeyList:
                homeKeyList(s_.*std::get<HomeKeyList RecipeSettings::*>(spec.field), clean);
                break;
        }
    }

    void ignoreLines(const std::string& clean) {
        const auto parts = ini::splitList(clean);
        auto& v = s_.CALTH_IGNORELINE;
        if (parts.size() == 1) {
            v.fill(ini::decValue(parts[0]));
        } else if (parts.size() == 2) {
            v = {ini::decValue(parts[0]), ini::decValue(parts[1]), ini::decValue(parts[0]), ini::decValue(parts[1])};
        } else {
            for (std::size_t i = 0; i < parts.size() && i < v.size(); ++i) v[i] = ini::decValue(parts[i]);
        }
    }

    void noiseThresholds(const std::string& clean) {
        const auto parts = ini::splitList(clean);
        int faults = 0;
        bool axisX = true;
        if (parts.size() % 3 != 0) ++faults;  // the incomplete last triple is not stored
        for (std::size_t i = 0; i + 2 < parts.size(); i += 3) {
            const std::string_view axis = parts[i];
            const char a = axis.empty() ? '\0' : axis.back();
            if (a == 'x' || a == 'X')
                axisX = true;
            else if (a == 'y' || a == 'Y')
                axisX = false;
            else
                ++faults;
            const std::int32_t index = ini::decValue(parts[i + 1]);
            const std::int32_t value = ini::decValue(parts[i + 2]);
            // A line outside the panel is a typing error in the recipe, not a value to keep.
            const std::int32_t size = axisX ? kGridRx : kGridTx;
            if (index < 0 || index >= size) {
                ++faults;
                continue;
            }
            (axisX ? s_.TKP_NOISE_THRE_SP_X[index] : s_.TKP_NOISE_THRE_SP_Y[index]) = value;
        }
        if (faults > 0) {
            messages_.push_back("Ini Error: Specify the key 'TKP_NOISE_THRE_SP'.");
            errors_ += faults;
        }
    }

    static void homeKeyList(HomeKeyList& list, const std::string& clean) {
        const auto parts = ini::splitList(clean);
        for (std::size_t i = 0; i < parts.size() && i < list.values.size(); ++i)
            list.values[i] = ini::decValue(parts[i]);
        // The count keeps the real length, so an overlong list never matches a pin count.
        list.count = static_cast<std::int32_t>(std::min<std::size_t>(parts.size(), 0x7FFFFFFF));
    }

    RecipeSettings& s_;
    const RecipeEnvironment& env_;
    std::vector<std::string>& messages_;
    Section section_ = Section::General;
    std::int64_t lutCounter_ = 0;
    std::int64_t lineNo_ = 0;
    std::int64_t errors_ = 0;
};

std::uint8_t tpsForTxCount(int t) {
    if (t < 7) return 0;
    if (t < 11) return 1;
    if (t < 15) return 2;
    if (t < 19) return 3;
    if (t < 23) return 4;
    if (t < 31) return 5;
    if (t < 43) return 6;
    return 7;
}

class Validator {
public:
    Validator(RecipeSettings& s, const RecipeEnvironment& env, std::vector<std::string>& messages,
              std::int64_t parseErrors)
        : s_(s), env_(env), messages_(messages), errors_(parseErrors) {}

    void run() {
        cpuR5();
        logFolder();
        firmware();
        hsyncFirmware();
        firmwareVersion();
        penVersion();
        tableFiles();
        gapDependencies();
        lutSizes();
        anyCheckEnabled();
        portCounts();
        if (s_.RAW_CHECK != 0 && !LoadThresholdTables(s_, messages_, {env_.startDirectory, env_.debugTrace})) ++errors_;
        drawingSteps();
        s_.TkpGainBlock = {static_cast<std::uint16_t>(s_.TKP_NOISE_GAIN_X),
                           static_cast<std::uint16_t>(s_.TKP_GAIN_X),
                           static_cast<std::uint16_t>(s_.TKP_NOISE_GAIN_Y),
                           static_cast<std::uint16_t>(s_.TKP_GAIN_Y),
                           2,
                           0};
        homeKey();
        hsyncMcu();
        if (s_.POST_PROCESS_ENABLE != 0 && s_.POST_PROCESS_PATH.empty())
            error("Ini Error: Specify the key 'POST_PROCESS_PATH'.");
    }

    std::int64_t errors() const { return errors_; }

private:
    void error(const std::string& message) {
        messages_.push_back(message);
        ++errors_;
    }

    bool resolve(std::string& field, std::string_view key, PathKind kind) {
        if (ResolveRecipePath(field, key, kind, env_.startDirectory, messages_)) return true;
        ++errors_;
        return false;
    }

    // Resolves a file the enabled feature needs, or reports it missing.
    void requiredFile(std::string& field, std::string_view key) {
        if (field.empty())
            error("Ini Error: Specify the key '" + std::string(key) + "'.");
        else
            resolve(field, key, PathKind::File);
    }

    void cpuR5() {
        if (s_.CPU != kCpuR5) return;
        s_.TKP_CHECK = 0;
        s_.HOMEKEY_CHECK = 0;
        s_.SCAN_CHECK = 0;
        s_.HSYNC_CHECK = 0;
        s_.HSYNC_INFO = 0;
        s_.HSYNC_VER = 0;
    }

    void logFolder() {
        if (s_.LOG_DIR.empty()) {
            s_.LOG_DIR = env_.startDirectory;
            return;
        }
        while (!s_.LOG_DIR.empty() && s_.LOG_DIR.back() == '\\') s_.LOG_DIR.pop_back();
        resolve(s_.LOG_DIR, "LOG_DIR", PathKind::Folder);
    }

    void firmware() {
        if (s_.WRITE_FW == 0) return;
        requiredFile(s_.ROMWRITE_PATH, "ROMWRITE_PATH");
        s_.display.hexFile = s_.HEX_FILE;
        if (s_.HEX_FILE.empty()) {
            error("Ini Error: Specify the key 'HEX_FILE'.");
            s_.display.hexFile = "---";
            return;
        }
        if (!resolve(s_.HEX_FILE, "HEX_FILE", PathKind::File)) {
            s_.display.hexFile = "---";
            return;
        }
        if (s_.CHECKSUM == kUnsetWord) {
            error("Ini Error: Spcify the key 'CHECKSUM'.");
            return;
        }
        const std::optional<std::uint16_t> sum = env_.hexChecksum ? env_.hexChecksum(s_.HEX_FILE) : std::nullopt;
        if (!sum) {
            error("Ini Error: Cannot Read hex with checksum error.");
            return;
        }
        if (*sum != s_.CHECKSUM) error("Ini Error: Mismatch checksum. (CheckSum=" + hexText(*sum, 4) + ")");
        s_.display.computedChecksum = hexText(*sum, 4);
        s_.display.expectedChecksum = hexText(s_.CHECKSUM, 4);
    }

    void hsyncFirmware() {
        if (s_.WRITE_HSYNC_FW == 0) return;
        requiredFile(s_.RL78PROG_PATH, "RL78PROG_PATH");
        requiredFile(s_.HSYNC_HEX_FILE, "HSYNC_HEX_FILE");
    }

    void firmwareVersion() {
        if (s_.COMPARE_FWVER == 0 && s_.WRITE_COMPARE_FWVER == 0) return;
        if (s_.FWVER_MAJOR == kUnsetWord)
            error("Ini Error: Spcify the key 'FWVER_MAJOR'.");
        else
            s_.display.fwMajor = hexText(s_.FWVER_MAJOR, 4);
        if (s_.FWVER_MINOR == kUnsetMinor)
            error("Ini Error: Spcify the key 'FWVER_MINOR'.");
        else
            s_.display.fwMinor = hexText(s_.FWVER_MINOR, 2);
    }

    void penVersion() {
        if (s_.EMR_CHECK == 1 && s_.EMR_FWVER == kUnsetWord) error("Ini Error: Specify the key 'EMR_FWVER'.");
    }

    void tableFiles() {
        if (s_.RAW_CHECK == 0) return;
        requiredFile(s_.REFERENCE_CSV, "REFERENCE_CSV");
        requiredFile(s_.THRESHOLD_CSV, "THRESHOLD_CSV");
        if (s_.GAP_CHECK != 0 && s_.GAP_LOG_ONLY == 0) requiredFile(s_.GAP_CSV, "GAP_CSV");
    }

    void gapDependencies() {
        if (s_.GAP_CHECK != 0 && s_.RAW_CHECK == 0)
            error("Ini Error: Gap-Horizontal check must be with Raw check(RAW_CHECK=1).");
        if (s_.GAP_VERTICAL != 0 && s_.GAP_CHECK == 0)
            error(
                "Ini Error: Gap-Vertical check must be with Gap-Horizontal check(GAP_CHECK=1 or "
                "GAP_HORIZONTAL=1).");
    }

    void lutSize(bool given, std::int64_t count, int expected, std::string_view name) {
        if (!given) return;
        if (count < expected)
            error("Ini Error: " + std::string(name) + " Too few elements. (" + std::to_string(count) + ")");
        else if (count > expected)
            error("Ini Error: " + std::string(name) + " Too many elements. (" + std::to_string(count) + ")");
    }

    void lutSizes() {
        lutSize(s_.xlutGiven, s_.xlutCount, kXlutSize, "[XLUT]");
        lutSize(s_.ylutGiven, s_.ylutCount, kYlutSize, "[YLUT]");
    }

    void anyCheckEnabled() {
        if (s_.COMPARE_FWVER == 0 && s_.SHORT_CHECK == 0 && s_.RAW_CHECK == 0 && s_.DRAWING_CHECK == 0 &&
            s_.TKP_CHECK == 0)
            messages_.push_back("Ini Warning: all test is disable.");
    }

    void portCounts() {
        s_.RX_PORT_COUNT = 0;
        s_.TX_PORT_COUNT = 0;
        if (s_.xlutGiven)
            s_.RX_PORT_COUNT = static_cast<std::int32_t>(
                std::count_if(s_.XLUT.begin(), s_.XLUT.end(), [](std::uint16_t w) { return (w & 0x0100) != 0; }));
        if (s_.ylutGiven)
            s_.TX_PORT_COUNT = static_cast<std::int32_t>(
                std::count_if(s_.YLUT.begin(), s_.YLUT.end(), [](std::uint16_t w) { return (w & 0x0300) == 0x0100; }));
        if (!s_.tpsGiven && s_.ylutGiven) s_.TIPC_TPS = tpsForTxCount(s_.TX_PORT_COUNT);
    }

    void drawingSteps() {
        constexpr std::uint32_t all =
            kDrawDisableMtouch | kDrawDisableTsq | kDrawDisableTdl | kDrawDisablePsq | kDrawDisablePdl;
        constexpr std::uint32_t touch = kDrawDisableMtouch | kDrawDisableTsq | kDrawDisableTdl;
        const std::uint32_t m = s_.drawDisableMask;
        if ((m & all) == all || ((m & touch) == touch && s_.SKIP_PEN_DRAWING != 0))
            error("Ini Error: All draw basic check are disable.");
    }

    void homeKey() {
        if (s_.HOMEKEY_CHECK == 0) return;
        const int pins = s_.HK_NUM_PIN;
        if (pins > kHomeKeyMaxPins) error("Ini Error: Homekey Check pin size overflow.");
        // A key without pins has nothing to judge; it must not pass as enabled.
        const bool valid = pins >= 1 && pins <= kHomeKeyMaxPins;
        s_.hkRemoveEnabled = valid && s_.HK_REMOVE.count == pins;
        s_.hkRemoveLowEnabled = valid && s_.HK_REMOVE_LOW.count == pins;
        s_.hkTouchEnabled = valid && s_.HK_TOUCH.count == pins;
        if (!s_.hkRemoveEnabled && !s_.hkRemoveLowEnabled && !s_.hkTouchEnabled)
            error("Ini Error: all homekey check is disable.");
    }

    void hsyncMcu() {
        if (s_.HSYNC_MEASURING != 0 && s_.CPU != kCpuR5) s_.HSYNC_CHECK = 1;
        if (s_.HSYNC_CHECK_NO_MCU != 0 && (s_.HSYNC_CHECK != 0 || s_.HSYNC_INFO != 0 || s_.HSYNC_MEASURING != 0 ||
                                           s_.HSYNC_PID != 0 || s_.HSYNC_VER != 0)) {
            s_.HSYNC_CHECK = 0;
            s_.HSYNC_INFO = 0;
            s_.HSYNC_MEASURING = 0;
            s_.HSYNC_PID = 0;
            s_.HSYNC_VER = 0;
            messages_.push_back("Ini Warning: Disable to check hsync-mcu for the key 'HSYNC_CHECK_NO_MCU'.");
        }
    }

    RecipeSettings& s_;
    const RecipeEnvironment& env_;
    std::vector<std::string>& messages_;
    std::int64_t errors_;
};

}  // namespace

void traceToStderr(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); }

std::int64_t parseRecipeText(RecipeSettings& settings, std::string_view content, const RecipeEnvironment& env,
                             std::vector<std::string>& messages) {
    Parser parser(settings, env, messages);
    // Editors on the desk PCs save UTF-8 with a byte order mark; it would hide the first key.
    if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    ini::forEachLine(content, [&](std::string_view line) { parser.line(line); });
    return parser.errors();
}

RecipeReport LoadRecipe(RecipeSettings& s, const std::string& path, const RecipeEnvironment& env) {
    RecipeReport report;
    s.recipeLoaded = false;
    s.recipeFailed = false;
    s.xlutGiven = false;
    s.ylutGiven = false;
    s.tpsGiven = false;
    s.xlutCount = 0;
    s.ylutCount = 0;

    std::string content;
    platform::Failure readError;
    if (!platform::readRegularFile(path, kMaxRecipeBytes, content, &readError)) {
        report.messages.push_back("Failed to open \"" + path + "\".");
        if (env.debugTrace) env.debugTrace(readError.text() + "\n");
        return report;
    }
    report.messages.push_back("Success to open \"" + path + "\".");

    // Every load starts from the defaults: a key this recipe leaves out must not keep what an
    // earlier recipe set (a log-only raw check, a scan check). (Built on the heap: the record
    // holds five grids.)
    auto defaults = std::make_unique<RecipeSettings>();
    s = std::move(*defaults);

    Validator validator(s, env, report.messages, parseRecipeText(s, content, env, report.messages));
    validator.run();
    if (validator.errors() != 0) {
        s.recipeFailed = true;
        return report;
    }
    s.recipeLoaded = true;
    s.recipePath = path;
    s.display.pid = hexText(static_cast<unsigned>(s.PID), 4);
    report.loaded = true;
    return report;
}

}  // namespace station
