#pragma once
// The automatic checks these tests cover, run in the check sequence's order with its rules:
// an Hsync NG ends the check, a refused exchange aborts it, the short and raw judgements both
// run and colCode keeps the first code except where the raw data finds a Tx-Rx short.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/sequence/hsync_checks.h"
#include "station/sequence/raw_judgement.h"
#include "station/sequence/raw_reads.h"
#include "station/sequence/short_check.h"
#include "station/sequence/tests/judgement_fixture.h"

namespace judgementfx {

struct CheckRun {
    std::string colCode = "    ";
    std::optional<std::string> abortMessage;
    std::vector<std::string> lines;
    station::ShortCounters shorts;
    std::unique_ptr<station::RawJudgement> raw = std::make_unique<station::RawJudgement>();
    station::HsyncCheckResult hsync;
    station::StepOutcome rawOutcome;
};

inline bool anyHsyncKey(const station::RecipeSettings& s) {
    return s.HSYNC_PID != 0 || s.HSYNC_VER != 0 || s.HSYNC_CHECK >= 1 || s.HSYNC_MEASURING != 0 ||
           s.HSYNC_CHECK_NO_MCU != 0;
}

inline std::string codeText(station::ErrorId error) { return std::string(station::errorEntry(error).code); }

inline CheckRun runAutomaticChecks(SimStation& st, const station::RecipeSettings& s, station::HsyncInfo& info,
                                   const std::function<void()>& beforeReads = {}) {
    CheckRun run;
    FakeUi ui;
    const auto done = [&]() -> CheckRun {
        run.lines = ui.lines;
        return std::move(run);
    };
    if (anyHsyncKey(s)) {
        const station::StepOutcome o = station::runHsyncChecks(s, st.pen, ui, info, run.hsync);
        if (o.aborted()) run.abortMessage = o.abortMessage;
        if (o.failed()) run.colCode = codeText(o.errors.front());
        if (!o.passed()) return done();
    }
    if (beforeReads) beforeReads();
    if (s.RAW_CHECK != 0) {
        const station::StepOutcome o = station::readRawData(s, st.touch, st.clock, ui, st.images(), st.frames);
        if (o.aborted()) return run.abortMessage = o.abortMessage, done();
    }
    if (s.SHORT_CHECK != 0) {
        const station::StepOutcome o = station::runShortCheck(s, st.touch, ui, run.shorts, st.pins);
        if (o.aborted()) return run.abortMessage = o.abortMessage, done();
        if (o.failed()) run.colCode = codeText(o.errors.front());
    }
    if (s.RAW_CHECK != 0) {
        run.rawOutcome = station::runRawJudgement(s, st.frames, ui, *run.raw);
        for (const station::ErrorId error : run.rawOutcome.errors)
            if (station::rawErrorTakesCode(error, run.colCode)) run.colCode = codeText(error);
    }
    return done();
}

}  // namespace judgementfx
