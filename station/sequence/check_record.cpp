#include "station/sequence/check_record.h"

namespace station {

std::string_view verdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok:
            return "OK";
        case Verdict::Ng:
            return "NG";
        case Verdict::NoTest:
            return "NO TEST";
        default:
            return "ERROR";
    }
}

void CheckRecord::clear() {
    running = false;
    verdict = Verdict::None;
    exitCode = -1;
    row = RunRecord{};
    detail = RunDetail{};
    startTime = "----/--/-- --:--:--";
    endTime.clear();
    elapsed = "----sec";
    elapsedMs = 0;
    startTick = 0;
    totals = RunTotals{};
    scanRetry = 0;
    firmware = FirmwareValues{};
    postProcessExitCode.reset();
    hsyncPidText = hsyncVerText = "---";
    hsync = HsyncCheckResult{};
    pins = PinCheck{};
    for (auto* g : {&frames.rawAverage, &frames.calAverage, &frames.actualAverage, &frames.sdSigma})
        for (auto& line : *g) line.fill(0.0);
    frames.readFlags = 0;
    frames.rawRetries = frames.calRetries = frames.actualRetries = frames.sdRetries = 0;
    frames.txCount = controllerlink::kGridTx;
    frames.rxCount = controllerlink::kGridRx;
    frames.scanModeWord = frames.scanFilterWord = 0;
    raw.clear();
    results.clear();
    detailCsv.clear();
}

}  // namespace station
