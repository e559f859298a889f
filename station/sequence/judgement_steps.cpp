#include "station/sequence/judgement_steps.h"

#include "station/sequence/station_state.h"

namespace station {
namespace {

void publishHsync(CheckContext& s, const HsyncInfo& info) {
    s.texts.hsyncPid = info.hsyncPidText;
    s.texts.hsyncVer = info.hsyncVerText;
    s.ui.setHsyncTexts(s.texts.hsyncPid, s.texts.hsyncVer);
}

}  // namespace

void JudgementSteps::readHsyncInfo(CheckContext& s) {
    station::readHsyncInfo(s.pen, hsyncInfo, [&s] { s.ui.pumpMessages(); });
    publishHsync(s, hsyncInfo);
}

StepOutcome JudgementSteps::hsyncChecks(CheckContext& s) {
    const StepOutcome o = runHsyncChecks(s.recipe, s.pen, s.ui, hsyncInfo, s.record.hsync);
    s.record.detail.hsyncFlags = s.record.hsync.hsyncFlags;
    publishHsync(s, hsyncInfo);
    return o;
}

StepOutcome JudgementSteps::prepareAndRead(CheckContext& s) {
    return readRawData(
        s.recipe, s.touch, s.clock, s.ui,
        ScanRegisterImages{s.connect.normalScanRegisters, s.connect.testRegisters, s.connect.normalScanCaptured},
        s.record.frames);
}

StepOutcome JudgementSteps::shortCheck(CheckContext& s) {
    ShortCounters shorts;
    const StepOutcome o = runShortCheck(s.recipe, s.touch, s.ui, shorts, s.record.pins);
    RunDetail& d = s.record.detail;
    d.shortTotal = shorts.shortTotal;
    d.shortTxTotal = shorts.shortTxTotal;
    d.txGndCount = shorts.txGndCount;
    d.txVddCount = shorts.txVddCount;
    d.shortRxTotal = shorts.shortRxTotal;
    d.rxGndCount = shorts.rxGndCount;
    d.rxVddCount = shorts.rxVddCount;
    return o;
}

StepOutcome JudgementSteps::rawJudgement(CheckContext& s) {
    const StepOutcome o = runRawJudgement(s.recipe, s.record.frames, s.ui, s.record.raw);
    const RawCounters& c = s.record.raw.counters;
    RunDetail& d = s.record.detail;
    d.rawTotal = c.rawTotal;
    d.upperCount = c.upperCount;
    d.lowerCount = c.lowerCount;
    d.calCount = c.calCount;
    d.dbCount = c.dbCount;
    d.rawRetryCount = c.rawRetryCount;
    d.gapHorizontalCount = c.gapHorizontalCount;
    d.gapVerticalCount = c.gapVerticalCount;
    return o;
}

}  // namespace station
