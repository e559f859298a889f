#pragma once
// The reference, threshold and gap tables the raw data judgement compares each cell against.
#include <string>
#include <string_view>

#include "station/recipe/recipe_settings.h"
#include "station/window/ui_port.h"

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

// Clears and reads the tables the settings ask for; reports every fault and returns true when
// there was none.
bool LoadThresholdTables(RecipeSettings& settings, UiPort& ui);

}  // namespace station
