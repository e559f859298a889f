#include "station/sequence/check_sequence.h"

#include <cstdio>
#include <string>

#include "station/sequence/connect.h"
#include "station/sequence/error_codes.h"
#include "station/sequence/raw_judgement.h"

namespace station {
namespace {

constexpr std::uint32_t kScanRetryWaitMs = 5000;
constexpr int kScanAttempts = 3;
constexpr std::int32_t bit(int n) { return std::int32_t{1} << n; }

std::string timeText(const platform::TimeOfDay& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

bool automaticChecksUsed(const RecipeSettings& r) {
    return r.SHORT_CHECK != 0 || r.RAW_CHECK != 0 || r.HSYNC_INFO != 0 || r.HSYNC_PID != 0 || r.HSYNC_VER != 0 ||
           r.HSYNC_CHECK != 0 || r.HSYNC_MEASURING != 0 || r.HSYNC_CHECK_NO_MCU != 0;
}

bool hsyncChecksUsed(const RecipeSettings& r) {
    return r.HSYNC_PID != 0 || r.HSYNC_VER != 0 || r.HSYNC_CHECK != 0 || r.HSYNC_MEASURING != 0 ||
           r.HSYNC_CHECK_NO_MCU != 0;
}

struct RunnerKey {
    RunnerCheck check;
    std::int32_t RecipeSettings::*key;
    std::string_view name;
};
constexpr RunnerKey kRunnerKeys[] = {
    {RunnerCheck::FirmwareWrite, &RecipeSettings::WRITE_FW, "firmware writing (WRITE_FW)"},
    {RunnerCheck::HsyncFirmwareWrite, &RecipeSettings::WRITE_HSYNC_FW, "Hsync MCU firmware writing (WRITE_HSYNC_FW)"},
    {RunnerCheck::ExternalSwitch, &RecipeSettings::EXT_SWITCH_CHECK, "external switch check (EXT_SWITCH_CHECK)"},
    {RunnerCheck::Drawing, &RecipeSettings::DRAWING_CHECK, "drawing check (DRAWING_CHECK)"},
    {RunnerCheck::HomeKey, &RecipeSettings::HOMEKEY_CHECK, "home key check (HOMEKEY_CHECK)"},
    {RunnerCheck::Tkp, &RecipeSettings::TKP_CHECK, "TKP pen check (TKP_CHECK)"},
    {RunnerCheck::Scan, &RecipeSettings::SCAN_CHECK, "scan check (SCAN_CHECK)"},
    {RunnerCheck::PostProcess, &RecipeSettings::POST_PROCESS_ENABLE, "post-process (POST_PROCESS_ENABLE)"},
};

// Shows one catalogue row's code in the code column and its short code in its own column.
void showError(RunRecord& row, ErrorId id) {
    const ErrorEntry& e = errorEntry(id);
    row.colCode = std::string(e.code);
    row.error = id;
    columnText(row, e.column) = std::string(e.shortCode);
}

// Writes the verdict texts of one catalogue row.
void writeNg(Station& s, ErrorId id) {
    s.ui.appendMessage(errorEntry(id).message);
    showError(s.check.row, id);
}

// The verdict columns for the errors of an automatic step (which wrote its own messages). Raw
// and gap errors only fill a code column that is still blank, except the Tx-Rx short found in
// the raw data, which always takes it. Returns whether the step judged the device NG.
bool applyErrors(Station& s, const StepOutcome& outcome, bool rawRule) {
    RunRecord& row = s.check.row;
    for (const ErrorId id : outcome.errors) {
        if (!rawRule || rawErrorTakesCode(id, row.colCode)) {
            showError(row, id);
        } else {
            const ErrorEntry& e = errorEntry(id);
            columnText(row, e.column) = std::string(e.shortCode);
        }
    }
    return outcome.failed();
}

bool abortWith(Station& s, std::string_view message) {
    s.ui.appendMessage(message);
    return false;
}

RunnerOutcome runRunner(Station& s, RunnerCheck check) {
    if (s.runners == nullptr || !s.runners->provides(check)) return {};
    CheckContext context = s.checkContext();
    return s.runners->run(check, context);
}

void appendNotes(Station& s, const RunnerOutcome& outcome) {
    for (const std::string& note : outcome.notes) s.ui.appendMessage(note);
}

bool judged(const RecipeSettings& r) {
    return r.COMPARE_FWVER != 0 || r.SHORT_CHECK != 0 || r.RAW_CHECK != 0 || r.DRAWING_CHECK != 0 || r.TKP_CHECK != 0 ||
           r.SCAN_CHECK != 0 || r.HOMEKEY_CHECK != 0;
}

// What the station shows of the controller when the check ends, as its records report it: the
// scan words of the touch link's register image and the Hsync MCU's texts.
void recordControllerState(Station& s) {
    s.check.frames.scanModeWord = s.touch.registerWord(12);
    s.check.frames.scanFilterWord = s.touch.registerWord(17);
    s.check.hsyncPidText = s.texts.hsyncPid;
    s.check.hsyncVerText = s.texts.hsyncVer;
}

bool verdict(Station& s) {
    recordControllerState(s);
    CheckRecord& c = s.check;
    RunRecord& row = c.row;
    if (judged(s.recipe)) {
        if (c.detail.ngTotal != 0) {
            row.colResult = "NG";
            s.state = StationState::Ng;
            c.verdict = Verdict::Ng;
            ++s.counters.ngCount;
            s.exitCode = ngExitCode(row.error);
        } else {
            row.colResult = "OK";
            s.state = StationState::Ok;
            c.verdict = Verdict::Ok;
            ++s.counters.okCount;
            s.exitCode = 0;
        }
    } else {
        s.state = StationState::NoTest;
        c.verdict = Verdict::NoTest;
    }
    c.exitCode = s.exitCode;
    c.running = false;
    s.runs.append(row);
    s.ui.setResultCount(s.runs.rowCount());
    s.ui.setStartEnabled(true);
    s.ui.requestRepaint(RepaintArea::Window);
    return true;
}

// Steps 1..12: each NG ends the sequence. Returns false for an abort; `ended` tells an NG.
bool automaticSteps(Station& s, bool& ended) {
    CheckContext context = s.checkContext();
    const RecipeSettings& r = s.recipe;
    RunDetail& d = s.check.detail;
    ended = true;

    // 1. COM open
    if ((d.comFlags & kComTouchUnusable) == 0) {
        std::uint8_t mode = 0;
        if (!s.touch.readDeviceMode(mode) || mode != 1) d.comFlags |= kComTouchUnusable | kComNormalMode;
    }
    d.ngTotal += d.comFlags;
    if (d.comFlags != 0) {
        writeNg(s, (d.comFlags & kComTouchUnusable) != 0 ? ErrorId::ComTouch : ErrorId::ComPen);
        return true;
    }
    s.ui.appendMessage("COM Open ... OK");

    // 2. Serial number
    d.ngTotal += d.serialNg;
    if (d.serialNg != 0) {
        writeNg(s, ErrorId::SerialNo);
        return true;
    }
    s.ui.appendMessage("S/N Check ... OK");

    // 3, 4. Firmware writing results
    if (r.WRITE_FW != 0) {
        d.ngTotal += d.firmwareFlags;
        if (onlyFirmwareFault(d.firmwareFlags, FirmwareFault::ChecksumDiffers)) {
            writeNg(s, ErrorId::FwChecksum);
            return true;
        }
        if (isHsyncWriteFailure(d.firmwareFlags)) {
            writeNg(s, ErrorId::FwHsyncWrite);
            return true;
        }
        if (d.firmwareFlags != 0) {
            writeNg(s, ErrorId::FwRomWrite);
            return true;
        }
        s.ui.appendMessage(r.WRITE_COMPARE_FWVER != 0 && !s.check.firmware.writerStarted
                               ? "Write F/W ... Skip (the same FW version)"
                               : "Write F/W ... OK");
    }
    if (r.WRITE_HSYNC_FW != 0) {
        d.ngTotal += d.firmwareFlags;
        if (d.firmwareFlags != 0) {
            if (isHsyncWriteFailure(d.firmwareFlags)) writeNg(s, ErrorId::FwHsyncWrite);
            return true;
        }
        s.ui.appendMessage("Write HSYNC_MCU F/W ... OK");
    }

    // 5. Firmware identity
    if (r.COMPARE_FWVER != 0) {
        checkFirmwareIdentity(s);
        d.ngTotal += d.firmwareFlags;
        if (d.firmwareFlags != 0) {
            if (hasFirmwareFault(d.firmwareFlags, FirmwareFault::VersionDiffers))
                writeNg(s, ErrorId::FwVersion);
            else if (hasFirmwareFault(d.firmwareFlags, FirmwareFault::VidDiffers))
                writeNg(s, ErrorId::FwVid);
            else if (hasFirmwareFault(d.firmwareFlags, FirmwareFault::PidDiffers))
                writeNg(s, ErrorId::FwPid);
            return true;
        }
        s.ui.appendMessage("F/W Check ... OK");
    }

    // 6. Pen firmware
    if (r.EMR_CHECK == 1) {
        s.check.firmware.penFirmware = s.connect.penQuery.firmware;
        if (s.check.firmware.penFirmware != r.EMR_FWVER)
            addFirmwareFault(d.firmwareFlags, FirmwareFault::PenVersionDiffers);
        d.ngTotal += d.firmwareFlags;
        if (d.firmwareFlags != 0) {
            writeNg(s, ErrorId::EmrVersion);
            return true;
        }
        s.ui.appendMessage("EMR F/W Check ... OK");
    }

    // 7. Hsync MCU
    if (hsyncChecksUsed(r)) {
        const StepOutcome outcome = s.automatic->hsyncChecks(context);
        if (outcome.aborted()) return false;
        if (applyErrors(s, outcome, false)) {
            d.ngTotal += d.hsyncFlags != 0 ? d.hsyncFlags : 1;
            return true;
        }
    }

    // 8. Test scanning from here on
    s.state = StationState::Checking;
    s.ui.requestRepaint(RepaintArea::StatusPanel);
    s.touch.writeBlock6();

    // 9..11. Sensor reads, short check, raw judgement
    bool sensorNg = false;
    if (r.RAW_CHECK != 0) {
        const StepOutcome outcome = s.automatic->prepareAndRead(context);
        if (outcome.aborted()) return false;
        sensorNg = applyErrors(s, outcome, true);
    }
    if (r.SHORT_CHECK != 0) {
        const StepOutcome outcome = s.automatic->shortCheck(context);
        if (outcome.aborted()) return false;
        sensorNg = applyErrors(s, outcome, false) || sensorNg;
    }
    if (r.RAW_CHECK != 0) {
        const StepOutcome outcome = s.automatic->rawJudgement(context);
        if (outcome.aborted()) return false;
        sensorNg = applyErrors(s, outcome, true) || sensorNg;
    }

    // 12.
    d.ngTotal = d.shortTotal + d.rawTotal;
    if (d.ngTotal == 0 && sensorNg) d.ngTotal = 1;  // an NG line never leaves the device passing
    if (d.ngTotal != 0) return true;
    ended = false;
    return true;
}

// Steps 13..19: every enabled operator check runs, each NG overwriting the code.
bool operatorSteps(Station& s) {
    const RecipeSettings& r = s.recipe;
    RunDetail& d = s.check.detail;

    if ((r.SHORT_CHECK != 0 || r.RAW_CHECK != 0) &&
        (r.DRAWING_CHECK != 0 || r.TKP_CHECK != 0 || r.HOMEKEY_CHECK != 0)) {
        s.flags.resetRequested = true;
        resetAndReconnect(s);
    }

    if (r.EXT_SWITCH_CHECK != 0) {
        appendNotes(s, runRunner(s, RunnerCheck::ExternalSwitch));
        d.ngTotal += d.extSwitchFlags;
        if (d.extSwitchFlags == 1)
            writeNg(s, ErrorId::ExtSwitchReset);
        else if (d.extSwitchFlags != 0)
            s.ui.appendMessage("External Switch Check ... NG");
        else
            s.ui.appendMessage("External Switch Check ... OK");
    }

    if (r.DRAWING_CHECK != 0) {
        const RunnerOutcome outcome = runRunner(s, RunnerCheck::Drawing);
        if (!outcome.ran) return false;
        d.ngTotal += d.drawResult;
        if (d.drawResult == 0) {
            s.ui.appendMessage("Drawing Test ... OK");
        } else if (d.drawResult >= 1 && d.drawResult <= 8) {
            writeNg(s, static_cast<ErrorId>(static_cast<int>(ErrorId::DrawStep1) + d.drawResult - 1));
        } else {
            writeNg(s, ErrorId::DrawOther);
        }
        if (s.logs != nullptr) s.logs->keepDrawingSnapshots(s, d.drawResult == 0);
        appendNotes(s, outcome);
    }

    if (r.HOMEKEY_CHECK != 0) {
        const RunnerOutcome outcome = runRunner(s, RunnerCheck::HomeKey);
        if (!outcome.ran) {
            d.homeKeyFlags = 1;
            return false;
        }
        d.ngTotal += d.homeKeyFlags;
        const std::int32_t f = d.homeKeyFlags;
        if ((f & bit(1)) != 0)
            writeNg(s, ErrorId::HomeKeyRemove);
        else if ((f & bit(2)) != 0)
            writeNg(s, ErrorId::HomeKeyTouched);
        else if (f != 0)
            writeNg(s, ErrorId::HomeKey);
        else
            s.ui.appendMessage("Home Key Check ... OK");
        appendNotes(s, outcome);
    }

    if (r.TKP_CHECK != 0) {
        const RunnerOutcome outcome = runRunner(s, RunnerCheck::Tkp);
        if (!outcome.ran) {
            d.tkpFlags = 1;
            return false;
        }
        const std::int32_t f = d.tkpFlags;
        struct Choice {
            int bitNo;
            ErrorId id;
        };
        // The saturation bit counts only in log-only mode; bits 1 and 5 alone pass otherwise.
        static constexpr Choice kLogOnly[] = {{2, ErrorId::TkpNoPacket},
                                              {1, ErrorId::TkpSaturation},
                                              {3, ErrorId::TkpIncomplete},
                                              {4, ErrorId::TkpPenExist}};
        static constexpr Choice kJudged[] = {{2, ErrorId::TkpNoPacket},
                                             {3, ErrorId::TkpIncomplete},
                                             {4, ErrorId::TkpPenExist},
                                             {6, ErrorId::TkpNoise},
                                             {7, ErrorId::TkpSignal}};
        const bool logOnly = r.TKP_LOG_ONLY != 0;
        const bool ng = logOnly ? f != 0 : (f & ~(bit(1) | bit(5))) != 0;
        if (ng) {
            d.ngTotal += f;
            ErrorId id = ErrorId::TkpOther;
            const std::span<const Choice> order = logOnly ? std::span<const Choice>(kLogOnly) : kJudged;
            for (const Choice& c : order)
                if ((f & bit(c.bitNo)) != 0) {
                    id = c.id;
                    break;
                }
            writeNg(s, id);
        } else {
            s.ui.appendMessage("TKP Pen Check ... OK");
        }
        appendNotes(s, outcome);
    }

    if (r.SCAN_CHECK != 0) {
        RunnerOutcome outcome;
        for (int attempt = 0; attempt < kScanAttempts; ++attempt) {
            if (attempt > 0) s.clock.sleepMs(kScanRetryWaitMs);
            s.check.scanRetry = attempt;
            d.scanFlags = 0;
            outcome = runRunner(s, RunnerCheck::Scan);
            if (!outcome.ran) {
                d.scanFlags = 1;
                return false;
            }
            if (d.scanFlags == 0) break;
        }
        d.ngTotal += d.scanFlags;
        const std::int32_t f = d.scanFlags;
        if ((f & bit(1)) != 0)
            writeNg(s, ErrorId::ScanTouch);
        else if ((f & bit(2)) != 0)
            writeNg(s, ErrorId::ScanPen);
        else if (f != 0)
            writeNg(s, ErrorId::Scan);
        else
            s.ui.appendMessage("Scan Check ... OK");
        appendNotes(s, outcome);
    }

    if (r.POST_PROCESS_ENABLE != 0) appendNotes(s, runRunner(s, RunnerCheck::PostProcess));
    return true;
}

}  // namespace

std::optional<std::string_view> missingCheck(const Station& s) {
    const RecipeSettings& r = s.recipe;
    if (s.automatic == nullptr && automaticChecksUsed(r)) {
        if (r.SHORT_CHECK != 0) return "short check (SHORT_CHECK)";
        if (r.RAW_CHECK != 0) return "raw data check (RAW_CHECK)";
        return "Hsync MCU check (HSYNC_...)";
    }
    for (const RunnerKey& k : kRunnerKeys)
        if (r.*k.key != 0 && (s.runners == nullptr || !s.runners->provides(k.check))) return k.name;
    return std::nullopt;
}

bool beginCheck(Station& s, bool isRetry) {
    if (s.runs.full()) {
        s.ui.appendMessage("The result list is full (" + std::to_string(RunRecordTable::kRows) +
                           " checks): save the logs and restart the station to test more devices.");
        return false;
    }
    if (const auto missing = missingCheck(s)) {
        s.ui.appendMessage("This build cannot run the " + std::string(*missing) + " yet: no check was started.");
        return false;
    }

    CheckCounters& c = s.counters;
    CheckRecord& check = s.check;
    s.ui.setStartEnabled(false);
    check.clear();
    check.running = true;
    check.startTick = s.clock.monotonicMs();
    check.startTime = timeText(s.clock.timeOfDay());

    const std::string& serial = isRetry ? c.savedSerial : c.serialText;
    // The serial number goes in whole: a scanner may deliver far more than any buffer expects.
    std::string line;
    if (isRetry) {
        if (s.state == StationState::Ok) --c.okCount;
        if (s.state == StationState::Ng) --c.ngCount;
        ++c.retryCount;
        line = "Check #." + std::to_string(c.checkCount) + " (Retry: " + std::to_string(c.retryCount) +
               ") S/N: " + serial + " [" + check.startTime + "]";
    } else {
        // A check that ended in ERROR keeps its number for the next attempt.
        if (s.state != StationState::Error) ++c.checkCount;
        c.retryCount = 0;
        line = "Check #." + std::to_string(c.checkCount) + " S/N: " + serial + " [" + check.startTime + "]";
    }
    s.ui.appendMessage(line);

    RunRecord& row = check.row;
    row.checkNo = c.checkCount;
    row.retryNo = c.retryCount;
    row.serialNo = serial;
    initialiseColumns(row, s.recipe);
    return true;
}

bool runCheckSequence(Station& s) {
    if (!s.check.running) return abortWith(s, "No check was started.");
    if (const auto missing = missingCheck(s))
        return abortWith(s, "This build cannot run the " + std::string(*missing) + " yet.");
    bool ended = false;
    if (!automaticSteps(s, ended)) return false;
    if (!ended && !operatorSteps(s)) return false;
    // Cut short by a stop signal: what the refused transfers left is no verdict.
    if (s.touch.abortRequested()) return false;
    return verdict(s);
}

void finishCheck(Station& s) {
    CheckRecord& c = s.check;
    c.endTime = timeText(s.clock.timeOfDay());
    c.elapsedMs = s.clock.monotonicMs() - c.startTick;
    const double seconds = static_cast<double>(c.elapsedMs) / 1000.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.1fsec", seconds);
    c.elapsed = text;
    c.totals = RunTotals{s.counters.checkCount, s.counters.okCount, s.counters.ngCount};
    s.ui.requestRepaint(RepaintArea::Window);
}

void endWithoutVerdict(Station& s) {
    s.state = StationState::Error;
    s.exitCode = -1;
    s.check.verdict = Verdict::Error;
    s.check.exitCode = -1;
    s.check.running = false;
    finishCheck(s);
}

}  // namespace station
