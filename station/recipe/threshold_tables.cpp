#include "station/recipe/threshold_tables.h"

#include "platform/file_reader.h"
#include "station/recipe/ini_text.h"
#include "station/recipe/recipe_paths.h"

namespace station {

namespace {

bool isKeyLine(std::string_view line, std::string_view keyWord) { return line.find(keyWord) != std::string_view::npos; }

// A table reader keeps going after a 46th row that is not a full 72 values; such extra rows
// belong nowhere and are dropped.
double* rowPointer(Grid& table, int row) {
    if (row < 0 || row >= kGridTx) return nullptr;
    return table[row].data();
}

}  // namespace

std::string stripTableBlanks(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') continue;
        if (line[i] == '\xE3' && i + 2 < line.size() && line[i + 1] == '\x80' && line[i + 2] == '\x80') {
            i += 2;
            continue;
        }
        out.push_back(line[i]);
    }
    return out;
}

int readTableRow(std::string_view line, double* row) {
    int count = 0;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = line.find(',', pos);
        if (comma == std::string_view::npos) break;
        if (row != nullptr && count < kGridRx) row[count] = ini::realValue(line.substr(pos, comma - pos));
        ++count;
        pos = comma + 1;
    }
    return count;
}

bool readBlockTable(std::string_view content, std::string_view keyWord, Grid& table) {
    bool keyFound = false;
    bool done = false;
    int row = 0;
    ini::forEachLine(content, [&](std::string_view rawLine) {
        if (done) return;
        const std::string line = stripTableBlanks(rawLine);
        if (line.empty()) return;
        if (isKeyLine(line, keyWord)) {
            keyFound = true;
            return;
        }
        if (!keyFound) return;
        const int values = readTableRow(line, rowPointer(table, row));
        if (row == kGridTx - 1 && values == kGridRx) done = true;
        if (row < kGridTx) ++row;
    });
    return keyFound;
}

ThresholdKeysFound readThresholdTable(std::string_view content, Grid& upper, Grid& lower) {
    ThresholdKeysFound found;
    Grid* target = nullptr;
    int row = 0;
    ini::forEachLine(content, [&](std::string_view rawLine) {
        const std::string line = stripTableBlanks(rawLine);
        if (line.empty()) return;
        if (isKeyLine(line, "Upper")) {
            found.upper = true;
            target = &upper;
            return;
        }
        if (isKeyLine(line, "Lower")) {
            found.lower = true;
            target = &lower;
            return;
        }
        if (target == nullptr) return;
        const int values = readTableRow(line, rowPointer(*target, row));
        if (row <= kGridTx) ++row;
        if (row == kGridTx && values == kGridRx) {
            target = nullptr;
            row = 0;
        }
    });
    return found;
}

bool LoadThresholdTables(RecipeSettings& s, std::vector<std::string>& messages, const TableFileAccess& access) {
    int errors = 0;
    const bool gapJudged = s.GAP_CHECK != 0 && s.GAP_LOG_ONLY == 0;

    auto openCsv = [&](const std::string& path, std::string& content) {
        platform::Failure readError;
        const std::string at =
            access.startDirectory.empty() || path.empty() ? path : recipePathCandidate(path, access.startDirectory);
        if (platform::readRegularFile(at, kMaxTableFileBytes, content, &readError)) return true;
        messages.push_back("Failed to open csv '" + path + "'");
        if (access.trace) access.trace(readError.text() + "\n");
        ++errors;
        return false;
    };
    auto missingKey = [&](std::string_view key, const std::string& path) {
        messages.push_back("Ini Error: Could not find the key '" + std::string(key) + "' in " + path + ".");
        ++errors;
    };

    std::string content;
    s.ReferenceTable = {};
    if (s.RAW_LOG_ONLY == 0 || gapJudged) {
        if (openCsv(s.REFERENCE_CSV, content) && !readBlockTable(content, "Reference", s.ReferenceTable))
            missingKey("#Reference", s.REFERENCE_CSV);
    }

    s.UpperTable = {};
    s.LowerTable = {};
    if (s.RAW_LOG_ONLY == 0) {
        if (openCsv(s.THRESHOLD_CSV, content)) {
            const ThresholdKeysFound found = readThresholdTable(content, s.UpperTable, s.LowerTable);
            if (!found.upper) missingKey("#Upper", s.THRESHOLD_CSV);
            if (!found.lower) missingKey("#Lower", s.THRESHOLD_CSV);
        }
    }

    s.GapHorizontalTable = {};
    if (gapJudged) {
        if (openCsv(s.GAP_CSV, content) && !readBlockTable(content, "Gap", s.GapHorizontalTable))
            missingKey("#Gap", s.GAP_CSV);
    }

    s.GapVerticalTable = {};
    if (gapJudged && s.GAP_VERTICAL != 0) {
        if (openCsv(s.GAP_CSV, content) && !readBlockTable(content, "Vertical", s.GapVerticalTable))
            missingKey("#Vertical", s.GAP_CSV);
    }
    return errors == 0;
}

}  // namespace station
