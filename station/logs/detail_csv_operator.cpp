#include "station/logs/detail_csv_operator.h"

namespace station {

// Interim: only the sections' not-applicable form until the measured bodies are written.
void appendTkpSection(std::string& out, const Station& s, bool failedSoFar) {
    out += ">>>>> TKP Pen Check <<<<<\n";
    if (s.recipe.TKP_CHECK == 0 || failedSoFar) out += "NA\n\n";
}

void appendHomeKeySection(std::string& out, const Station& s, bool failedSoFar) {
    if (s.recipe.HOMEKEY_CHECK == 0) return;
    out += ">>>>> Home Key Check <<<<<\n";
    if (failedSoFar) out += "NA\n\n";
}

}  // namespace station
