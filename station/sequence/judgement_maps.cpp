#include "station/sequence/judgement_maps.h"

namespace station {

void JudgementMaps::clear() {
    for (auto* g : {&rawDiff, &calDiff, &gapHorizontal, &gapVertical})
        for (auto& row : *g) row.fill(0.0);
    for (auto* g : {&upperMap, &lowerMap})
        for (auto& row : *g) row.fill(0);
    calColumns.fill(CalColumn{});
}

void RawJudgement::clear() {
    counters = RawCounters{};
    shortCandidates = 0;
    txOpen = 0;
    rxOpen = 0;
    maps.clear();
}

}  // namespace station
