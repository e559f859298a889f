#pragma once
// What the operator checks (drawing, TKP pen, home key) leave behind for the detail CSV, beside
// the flags of RunDetail. Cleared when a check begins; filled by the check windows' logic.
namespace station {

struct CheckResults {
    void clear() { *this = CheckResults{}; }
};

}  // namespace station
