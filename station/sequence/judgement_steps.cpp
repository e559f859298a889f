#include "station/sequence/judgement_steps.h"

#include "station/sequence/station_state.h"

namespace station {
namespace {

StepReport report(const StepOutcome& o) {
    StepReport r;
    r.aborted = o.aborted();
    r.abortMessage = o.abortMessage;
    if (o.failed()) {
        r.ng = true;
        for (const int code : {o.code, o.laterCode})
            if (code != 0) r.codes.push_back(code);
    }
    return r;
}

void publishHsync(Station& s, const HsyncInfo& info) {
    s.texts.hsyncPid = info.hsyncPidText;
    s.texts.hsyncVer = info.hsyncVerText;
    s.ui.setHsyncTexts(s.texts.hsyncPid, s.texts.hsyncVer);
}

}  // namespace

void JudgementSteps::readHsyncInfo(Station& s) {
    station::readHsyncInfo(s.pen, hsyncInfo, [&s] { s.ui.pumpMessages(); });
    publishHsync(s, hsyncInfo);
}

StepReport JudgementSteps::hsyncChecks(Station& s) {
    const StepOutcome o = runHsyncChecks(s.recipe, s.pen, s.ui, hsyncInfo, hsync);
    s.detail.hsyncFlags = hsync.hsyncFlags;
    publishHsync(s, hsyncInfo);
    return report(o);
}

StepReport JudgementSteps::prepareAndRead(Station& s) {
    return report(readRawData(
        s.recipe, s.touch, s.clock, s.ui,
        ScanRegisterImages{s.connect.normalScanRegisters, s.connect.testRegisters, s.connect.normalScanCaptured}));
}

StepReport JudgementSteps::shortCheck(Station& s) {
    const StepOutcome o = runShortCheck(s.recipe, s.touch, s.ui, shorts);
    RunDetail& d = s.detail;
    d.shortTotal = shorts.shortTotal;
    d.shortTxTotal = shorts.shortTxTotal;
    d.txGndCount = shorts.txGndCount;
    d.txVddCount = shorts.txVddCount;
    d.shortRxTotal = shorts.shortRxTotal;
    d.rxGndCount = shorts.rxGndCount;
    d.rxVddCount = shorts.rxVddCount;
    return report(o);
}

StepReport JudgementSteps::rawJudgement(Station& s) {
    const StepOutcome o = runRawJudgement(s.recipe, s.touch, s.ui, raw);
    const RawCounters& c = raw.counters;
    RunDetail& d = s.detail;
    d.rawTotal = c.rawTotal;
    d.upperCount = c.upperCount;
    d.lowerCount = c.lowerCount;
    d.calCount = c.calCount;
    d.dbCount = c.dbCount;
    d.rawRetryCount = c.rawRetryCount;
    d.gapHorizontalCount = c.gapHorizontalCount;
    d.gapVerticalCount = c.gapVerticalCount;
    return report(o);
}

}  // namespace station
