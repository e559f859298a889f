#pragma once
// The reference, threshold and gap tables the raw data judgement compares each cell against.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "station/recipe/recipe_settings.h"

namespace station {

// One data line of a table file: the texts before each comma, as atof reads them. Blanks and
// ideographic spaces (UTF-8 E3 80 80) are deleted first; the text after the last comma is not a
// value. Values past column 72 are dropped. Returns how many values the line held.
int readTableRow(std::string_view line, double* row);

// Removes blanks and ideographic spaces from a table line.
std::string stripTableBlanks(std::string_view line);

// Reads a single-block table ("#Reference", "#Gap", "#Vertical") from file content. Lines
// before the first line containing `keyWord` are ignored; reading stops after a 46th row of 72
// values. Rows past the 46th are dropped. Returns false when no key line was found.
bool readBlockTable(std::string_view content, std::string_view keyWord, Grid& table);

// Reads the threshold file content: "#Upper" and "#Lower" blocks sharing one row counter.
struct ThresholdKeysFound {
    bool upper = false;
    bool lower = false;
};
ThresholdKeysFound readThresholdTable(std::string_view content, Grid& upper, Grid& lower);

// Largest table file read. A file holds at most two blocks (#Upper and #Lower) of 46 rows by 72
// cells; at 256 bytes of text per cell that is 1.7 MB, doubled for comment lines and the rows
// past the 46th that a table tool may leave behind.
inline constexpr std::size_t kMaxTableFileBytes = 4 << 20;

// Where LoadThresholdTables reads from and tells why a file was not read.
struct TableFileAccess {
    // A table path still relative (one the recipe's path check refused) is read below this
    // folder, the same file the check looked at; empty reads it as written.
    std::string startDirectory;
    // Why a file was not read (the operating system's reason, or not a regular file, or too
    // large); empty drops it.
    std::function<void(std::string_view)> trace;
};

// Clears and reads the tables the settings ask for; adds every fault to `messages` and returns
// true when there was none. Only a regular file within kMaxTableFileBytes is read, the same rule by which
// the recipe's path check finds a table file, so a FIFO or a device is refused, never waited on.
bool LoadThresholdTables(RecipeSettings& settings, std::vector<std::string>& messages,
                         const TableFileAccess& access = {});

}  // namespace station
