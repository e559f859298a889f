#include "station/logs/detail_csv.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "station/logs/detail_csv_blocks.h"
#include "station/logs/detail_csv_operator.h"
#include "station/logs/record_file.h"
#include "station/logs/serial_text.h"
#include "station/sequence/short_check.h"

namespace station {
namespace {

using controllerlink::kGridRx;
using controllerlink::kGridTx;

// The seconds of the check as measured (the panel's "%.1fsec" is rounded).
double elapsedSeconds(const CheckRecord& c) { return static_cast<double>(c.elapsedMs) / 1000.0; }

// The longest file name the file systems the records live on take.
constexpr std::size_t kMaxFileName = 255;
constexpr std::size_t kSerialColumn = 18;
constexpr const char* kSimpleResultFile = "last_simple_result.txt";

// Everything the sections share while they are written.
struct Body {
    const RecipeSettings& r;
    const CheckRecord& c;
    const RunDetail& d;
    const RunRecord& row;
    std::string out;
    bool failed = false;  // a section before this one reported a fault

    void title(const char* text) { out += text; }
};

void checkSection(Body& b) {
    appendf(b.out, "Total,Retry,S/N\n#.%d,%d,", b.row.checkNo, b.row.retryNo);
    b.out += csvField(b.row.serialNo) + '\n';
    appendf(b.out, "Start-Time,%s\n", b.c.startTime.c_str());
    if (b.d.ngTotal != 0) appendf(b.out, "\nLAST ERROR CODE : %s\n\n", b.row.colCode.c_str());
}

void comSection(Body& b) {
    b.title(">>>>> COM Open check <<<<<\n");
    const std::int32_t f = b.d.comFlags;
    if (f == 0) {
        b.out += "PASS\n\n";
        return;
    }
    if ((f & kComNormalMode) != 0)
        b.out += "Connect with Normal Mode error.\n";
    else if ((f & kComTouchUnusable) != 0)
        b.out += "Device not connected.\n";
    if ((f & kComPenError) != 0) b.out += "PEN I/F connection error.\n";
    b.out += '\n';
    b.failed = true;
}

void serialSection(Body& b) {
    b.title(">>>>> COM Open check <<<<<\n");
    if (b.d.serialNg != 0) {
        b.out += "S/N Check failed error.\n\n";
        b.failed = true;
    } else {
        // After a COM failure the S/N step of the sequence never ran.
        b.out += b.failed ? "NA\n\n" : "PASS\n\n";
    }
}

void firmwareSection(Body& b) {
    b.title(">>>>> F/W Check <<<<<\n");
    const std::int32_t f = b.d.firmwareFlags;
    if (b.r.COMPARE_FWVER == 0 || b.failed) {
        b.out += "NA\n\n";
        // A failed write ends the check here even without COMPARE_FWVER: later sections did
        // not run and must not read as passed.
        if (f != 0) b.failed = true;
        return;
    }
    if (f == 0) {
        b.out += "PASS\n\n";
        return;
    }
    const bool hsyncWrite = b.r.WRITE_HSYNC_FW != 0 && isHsyncWriteFailure(f);
    if (!hsyncWrite) {
        if (hasFirmwareFault(f, FirmwareFault::ChecksumDiffers))
            appendf(b.out, "CheckSum HEX,0x%04X,,Compare,0x%04X\n", b.c.firmware.hexChecksum, b.r.CHECKSUM);
        if (hasFirmwareFault(f, FirmwareFault::WriterFailed))
            appendf(b.out, "RomWrite Write Error (Code : 0x%04X)\n",
                    static_cast<unsigned>(b.c.firmware.writerExitCode));
    } else {
        b.out += "HSYNC-MCU FW Write Error\n";
    }
    const FirmwareValues& fw = b.c.firmware;
    if (hasFirmwareFault(f, FirmwareFault::VersionDiffers))
        appendf(b.out, "F/W Version,<Major>,0x%04X,,Compare,0x%04X\n,<Minor>,0x%02X,,Compare,0x%02X\n",
                fw.touchFirmwareMajor, b.r.FWVER_MAJOR, fw.touchFirmwareMinor, b.r.FWVER_MINOR);
    if (hasFirmwareFault(f, FirmwareFault::VidDiffers))
        appendf(b.out, "VendorID,0x%04X,,Compare,0x%04X\n", fw.vendorId, static_cast<unsigned>(b.r.VID));
    if (hasFirmwareFault(f, FirmwareFault::PidDiffers))
        appendf(b.out, "ProductID,0x%04X,,Compare,0x%04X\n", fw.productId, static_cast<unsigned>(b.r.PID));
    if (hasFirmwareFault(f, FirmwareFault::PenVersionDiffers))
        appendf(b.out, "PEN F/W Version,0x%04X,,Compare,0x%04X\n", fw.penFirmware, b.r.EMR_FWVER);
    b.out += '\n';
    b.failed = true;
}

void hsyncSection(Body& b) {
    const RecipeSettings& r = b.r;
    if (r.HSYNC_INFO == 0 && r.HSYNC_CHECK == 0 && r.HSYNC_CHECK_NO_MCU == 0 && r.HSYNC_VER == 0 && r.HSYNC_PID == 0 &&
        r.HSYNC_MEASURING == 0)
        return;
    b.title(">>>>> HSYNC check <<<<<\n");
    if (r.HSYNC_INFO != 0 || r.HSYNC_VER != 0 || r.HSYNC_PID != 0)
        appendf(b.out, "HSYNC MCU PID,%s\nHSYNC MCU FW Version,%s\n\n", b.c.hsyncPidText.c_str(),
                b.c.hsyncVerText.c_str());
    if (b.failed) {
        b.out += "NA\n\n";
        return;
    }
    const std::int32_t f = b.d.hsyncFlags;
    const HsyncCheckResult& h = b.c.hsync;
    if (r.HSYNC_PID != 0) {
        b.out += (f & kHsyncPidDiffers) != 0 ? "HSYNC MCU PID Check,NG\n\n"
                 : (f & kHsyncComError) != 0 ? "HSYNC MCU communicate error.(PID check)\n\n"
                                             : "HSYNC MCU PID Check,PASS\n\n";
    }
    if (r.HSYNC_VER != 0) {
        b.out += (f & kHsyncVersionDiffers) != 0 ? "HSYNC MCU Version Check,NG\n\n"
                 : (f & kHsyncComError) != 0     ? "HSYNC MCU communicate error.(VER check)\n\n"
                                                 : "HSYNC MCU Version Check,PASS\n\n";
    }
    if (r.HSYNC_CHECK > 0) {
        b.out += (f & kHsyncComError) != 0   ? "HSYNC MCU communicate error.(signal check)\n\n"
                 : (f & kHsyncDisabled) != 0 ? "HSYNC disable.\n"
                                             : "HSYNC enable.\n";
        if ((f & kHsyncComError) == 0) {
            appendf(b.out, "OK count,%d,check count,%d,required count,%d\n", h.hsyncOkCount, r.HSYNC_CHECK_COUNT,
                    r.HSYNC_CHECK_THRESHOLD);
            b.out += "logged data";
            for (std::uint16_t v : h.hsyncSamples) appendf(b.out, ",%d", v);
            b.out += "\n\n";
        }
    }
    if (r.HSYNC_CHECK_NO_MCU != 0)
        b.out += (f & kHsyncDisabled) != 0 ? "HSYNC disable. (direct connection)\n\n"
                                           : "HSYNC enable. (direct connection)\n\n";
    if (r.HSYNC_MEASURING != 0) {
        b.out += (f & kHsyncNoiseFailed) != 0 ? "HSYNC Noise Measuring,NG\n"
                 : (f & kHsyncComError) != 0  ? "HSYNC MCU communicate error.(noise measuring)\n\n"
                                              : "HSYNC Noise Measuring,PASS\n";
        if ((f & kHsyncComError) == 0) {
            appendf(b.out, "OK count,%d,check count,%d,required count,%d\n", h.noiseInRange, r.HSYNC_MEAS_COUNT,
                    r.HSYNC_MEAS_THRESHOLD);
            b.out += "logged data";
            for (std::int16_t v : h.noiseSamples) appendf(b.out, ",%d", v);
            b.out += "\n\n";
        }
    }
    if (f != 0) b.failed = true;
}

// One row of Rx or Tx pin faults: "*" for a pin the lookup table does not use.
template <std::size_t N, std::size_t P>
void appendPinRow(std::string& out, const char* label, const std::array<std::uint16_t, N>& lut,
                  bool (*used)(std::uint16_t), const std::array<PinResult, P>& pins, std::uint32_t PinResult::*fault) {
    static_assert(N <= P);
    out += label;
    for (std::size_t i = 0; i < N; ++i) {
        if (!used(lut[i]))
            out += ",*";
        else
            out += pins[i].*fault != 0 ? ",+" : ",_";
    }
    out += '\n';
}

void shortSection(Body& b) {
    b.title(">>>>> Short check <<<<<\n");
    if (b.r.SHORT_CHECK == 0 || b.failed) {
        b.out += "NA\n\n";
        return;
    }
    const RunDetail& d = b.d;
    if (d.shortTotal == 0) {
        b.out += "PASS\n\n";
        return;
    }
    b.out += kJudgementLegend;
    const auto& xlut = b.r.XLUT;
    const auto& ylut = b.r.YLUT;
    const PinCheck& t = b.c.pins;
    if (d.shortRxTotal > 0) {
        b.out += "IC";
        for (int i = 0; i < kXlutSize; ++i) appendf(b.out, ",%d", i);
        b.out += "\nPANEL";
        for (int i = 0; i < kXlutSize; ++i) {
            if (!rxPinUsed(xlut[static_cast<std::size_t>(i)])) {
                b.out += ",*";
                continue;
            }
            const auto at = std::find_if(xlut.begin(), xlut.end(), [i](std::uint16_t v) { return (v & 0x7F) == i; });
            appendf(b.out, ",%d", static_cast<int>(at - xlut.begin()));
        }
        b.out += '\n';
    }
    if (d.rxVddCount > 0) appendPinRow(b.out, "Rx Vdd", xlut, rxPinUsed, t.rxPins, &PinResult::vddFault);
    if (d.rxGndCount > 0) appendPinRow(b.out, "Rx Gnd", xlut, rxPinUsed, t.rxPins, &PinResult::gndFault);
    if (d.shortRxTotal > 0) b.out += '\n';
    if (d.shortTxTotal > 0) {
        b.out += "IC";
        for (int i = 0; i < kYlutSize; ++i) appendf(b.out, ",%d", i);
        b.out += "\nPANEL";
        for (std::uint16_t v : ylut) {
            if (txPinUsed(v))
                appendf(b.out, ",%d", v & 0x3F);
            else
                b.out += ",*";
        }
        b.out += '\n';
    }
    if (d.txVddCount > 0) appendPinRow(b.out, "Tx Vdd", ylut, txPinUsed, t.txPins, &PinResult::vddFault);
    if (d.txGndCount > 0) appendPinRow(b.out, "Tx Gnd", ylut, txPinUsed, t.txPins, &PinResult::gndFault);
    if (d.shortTxTotal > 0) b.out += '\n';
}

std::string withRetries(const char* title, std::uint32_t retries) {
    std::string text = title;
    appendf(text, ",retry count,%u\n", retries);
    return text;
}

// A filtered scan matrix: its title, the two scan register words it was taken with, the cells.
void scanBlock(Body& b, const std::string& title, const controllerlink::Grid& values, std::uint32_t tx,
               std::uint32_t rx) {
    const SensorFrames& f = b.c.frames;
    b.out += title;
    appendf(b.out, "ASW,%#06x\nFSW,%#06x\n", f.scanModeWord, f.scanFilterWord);
    appendMatrix(b.out, {}, values, tx, rx);
}

void actualBlock(Body& b, std::uint32_t tx, std::uint32_t rx) {
    const SensorFrames& t = b.c.frames;
    std::string title = "#Actual Data (Filtered scan data)";
    appendf(title, ",retry count,%u", t.actualRetries);
    title += b.r.CAL_F_USE != 0 ? ",Data from CAL_F\n" : "\n";
    scanBlock(b, title, t.actualAverage, tx, rx);
}

void rawData(Body& b, std::uint32_t tx, std::uint32_t rx) {
    const RecipeSettings& r = b.r;
    const SensorFrames& t = b.c.frames;
    const JudgementMaps& maps = b.c.raw.maps;
    if (r.RAW_LOG_ONLY != 0) b.out += "LOG ONLY MODE (no jadge)\n\n";
    if (r.CAL_THRESHOLD != 0) {
        b.out += "ignore line setting,top,right,bottom,left\n";
        for (std::int32_t v : r.CALTH_IGNORELINE) appendf(b.out, ",%d", v);
        b.out += "\n\n";
    }
    static constexpr const char* kShortage[] = {"Raw Data Shortage Error!\n", "Calth Data Shortage Error!\n",
                                                "Actual Data Shortage Error!\n", "DeadBand Data Shortage Error!\n"};
    for (std::uint32_t bit = 0; bit < 4; ++bit)
        if ((t.readFlags & (1U << bit)) != 0) b.out += kShortage[bit];
    if ((t.readFlags & 0x0F) != 0) b.out += '\n';

    appendMatrix(b.out, withRetries("#Raw Data", t.rawRetries), t.rawAverage, tx, rx);
    b.out += '\n';
    appendMatrix(b.out, "#Diff Data\n", maps.rawDiff, tx, rx);
    b.out += '\n';
    if ((r.CAL_THRESHOLD != 0 && r.CALTH_NOFILTER == 0) || r.GET_ACTDATA != 0) {
        if (r.CAL_OLD_DATA != 0) {
            scanBlock(b, withRetries("#Filtered Scan Data(for calibration threshold)", t.calRetries), t.calAverage, tx,
                      rx);
        } else {
            actualBlock(b, tx, rx);
        }
        b.out += '\n';
    }
    if (r.CAL_THRESHOLD != 0) {
        b.out += r.CALTH_NOFILTER != 0 ? "## Calibration Threshold without filter\n"
                                       : "## Calibration Threshold with filtered scan value\n";
        if (r.CAL_DIFF != 0) {
            appendMatrix(b.out, "#Differential\n", maps.calDiff, tx, rx);
        } else {
            b.out += "#Min/Max\n";
            const auto row = [&](const char* label, double CalColumn::*value) {
                b.out += label;
                for (const CalColumn& c : maps.calColumns) appendf(b.out, ",%.2f", c.*value);
                b.out += '\n';
            };
            row("Min", &CalColumn::minValue);
            row("Max", &CalColumn::maxValue);
            row("Dif", &CalColumn::range);
        }
    }
    b.out += '\n';
    if (r.GET_ACTDATA != 0 && r.CAL_OLD_DATA != 0) {
        actualBlock(b, tx, rx);
        b.out += '\n';
    }
    b.out += '\n';
    if (r.DB_THRESHOLD != 0) {
        appendMatrix(b.out, withRetries("#Standard Deviation Data(for Dead Band problem)", t.sdRetries), t.sdSigma, tx,
                     rx);
        b.out += '\n';
    }
    appendMatrix(b.out, "#GAP Horizontal Data (Rx Open check)\n", maps.gapHorizontal, tx, rx);
    b.out += '\n';
    appendMatrix(b.out, "#GAP Vertical Data (Tx Open check)\n", maps.gapVertical, tx, rx);
    b.out += '\n';
}

void rawResult(Body& b, std::uint32_t tx, std::uint32_t rx) {
    const RecipeSettings& r = b.r;
    const RunDetail& d = b.d;
    const JudgementMaps& maps = b.c.raw.maps;
    b.out += "\n#Raw Check Result\n";
    if (d.rawTotal == 0) {
        b.out += "PASS\n\n";
        return;
    }
    b.out += kJudgementLegend;
    if (d.upperCount != 0)
        appendJudgementGrid(b.out, "Upper Threshold\n", tx, rx,
                            [&](std::uint32_t t, std::uint32_t x) { return maps.upperMap[t][x] != 0; });
    if (d.lowerCount != 0)
        appendJudgementGrid(b.out, "Lower Threshold\n", tx, rx,
                            [&](std::uint32_t t, std::uint32_t x) { return maps.lowerMap[t][x] != 0; });
    if (d.calCount != 0) {
        const double limit = r.CAL_THRESHOLD;
        if (r.CAL_DIFF != 0) {
            appendJudgementGrid(b.out, "Calibration Threshold,Differential\n", tx, rx,
                                [&](std::uint32_t t, std::uint32_t x) { return maps.calDiff[t][x] > limit; });
        } else {
            // The two cells whose spread broke the limit: the column's smallest and largest.
            appendJudgementGrid(b.out, "Calibration Threshold,Min-Max\n", tx, rx,
                                [&](std::uint32_t t, std::uint32_t x) {
                                    const CalColumn& c = maps.calColumns[x];
                                    const auto row = static_cast<std::int32_t>(t);
                                    return c.flag != 0 && (c.minRow == row || c.maxRow == row);
                                });
        }
    }
    if (d.gapHorizontalCount != 0)
        appendJudgementGrid(
            b.out, "GAP HORIZONTAL Check Error (Rx Open) occurred.\n", tx, rx,
            [&](std::uint32_t t, std::uint32_t x) { return maps.gapHorizontal[t][x] > r.GapHorizontalTable[t][x]; });
    if (d.gapVerticalCount != 0)
        appendJudgementGrid(
            b.out, "GAP VERTICAL Check Error (Tx Open) occurred.\n", tx, rx,
            [&](std::uint32_t t, std::uint32_t x) { return maps.gapVertical[t][x] > r.GapVerticalTable[t][x]; });
    b.out += '\n';
}

void rawSection(Body& b) {
    b.title(">>>>> Raw <<<<<\n");
    if (b.r.RAW_CHECK == 0 || b.failed) {
        b.out += "NA\n\n";
        return;
    }
    const std::uint32_t tx = std::min<std::uint32_t>(b.c.frames.txCount, kGridTx);
    const std::uint32_t rx = std::min<std::uint32_t>(b.c.frames.rxCount, kGridRx);
    if (b.d.firmwareFlags != 0 || b.d.comFlags != 0)
        b.out += "Failed to dump raw data\n\n";
    else
        rawData(b, tx, rx);
    rawResult(b, tx, rx);
}

void scanSection(Body& b) {
    if (b.r.SCAN_CHECK == 0) return;
    b.title(">>>>> Scan Check <<<<<\n");
    if (b.failed) {
        b.out += "NA\n\n";
        return;
    }
    const std::int32_t f = b.d.scanFlags;
    if (f == 0) {
        b.out += "PASS\n";
        if (b.c.scanRetry > 0) appendf(b.out, "Retry count,%d\n", b.c.scanRetry);
        b.out += '\n';
        return;
    }
    if ((f & 0x01) != 0) b.out += "Device connection error.\n";
    if ((f & 0x02) != 0)
        b.out += "NG : Timeout (touch).\n";
    else if ((f & 0x04) != 0)
        b.out += "NG : Timeout (pen).\n";
    b.out += '\n';
}

void externalSwitchSection(Body& b) {
    if (b.r.EXT_SWITCH_CHECK == 0) return;
    b.title(">>>>> External Switch Check <<<<<\n");
    if (b.failed) {
        b.out += "NA\n\n";
        return;
    }
    if (b.d.extSwitchFlags == 0) {
        b.out += "PASS\n\n";
        return;
    }
    if ((b.d.extSwitchFlags & 0x01) != 0) b.out += "NG : Timeout (reset failed).\n";
    b.out += '\n';
}

void drawingSection(Body& b) {
    b.title(">>>>> Drawing <<<<<\n");
    const RecipeSettings& r = b.r;
    if (r.DRAWING_CHECK == 0 || b.failed) {
        b.out += "NA\n\n";
        return;
    }
    const std::int32_t result = b.d.drawResult;
    if (result == 1) {
        b.out += "Initial touch, NG\n";
    } else {
        // Steps 2..8 of the drawing check in order; the failing one ends the list. The step is
        // taken from drawResult: colCode holds a later operator check's code when one failed.
        struct Step {
            const char* label;
            bool enabled;
        };
        const std::uint32_t off = r.drawDisableMask;
        const Step steps[] = {
            {"Multi-Touch Check,", (off & kDrawDisableMtouch) == 0},
            {"Touch Square Check,", (off & kDrawDisableTsq) == 0},
            {"Touch Diagonal Check,", (off & kDrawDisableTdl) == 0},
            {"Pen Square Check,", (off & kDrawDisablePsq) == 0},
            {"Pen Diagonal Check,", (off & kDrawDisablePdl) == 0},
            {"Pen Accuracy Check,", r.ACCURACY_CHECK != 0},
            {"Pen Hover Check,", r.HOVER_CHECK != 0},
        };
        std::int32_t number = 2;
        for (const Step& step : steps) {
            const bool failing = number++ == result;
            if (!step.enabled && !failing) continue;
            b.out += step.label;
            b.out += failing ? "NG\n" : "PASS\n";
            if (failing) break;
        }
    }
    b.out += '\n';
    b.out += result == 0 ? "PASS\n\n" : "Error occurred! Check the save image.\n\n";
}

void endSection(Body& b) {
    const RunTotals& t = b.c.totals;
    b.out += "//******************** end of result ********************//\n";
    appendf(b.out, "Total,%d,,OK,%d,,NG,%d\n", t.checks, t.ok, t.ng);
    appendf(b.out, "End-Time,%s,,%.2f,(sec)\n\n", b.c.endTime.c_str(), elapsedSeconds(b.c));
}

std::string folderWithoutSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/') return folder.substr(0, folder.size() - 1);
    return folder;
}

// The whole file or none: a record that did not reach the disk whole is reported, not kept.
bool writeWholeOrSay(std::vector<std::string>& failures, const std::string& path, const std::string& text,
                     std::string_view what) {
    const platform::RecordWrite written = writeRecordFile(path, text);
    if (!written)
        failures.push_back("Failed to write " + std::string(what) + "'" + path + "': " + written.failure.reason);
    return static_cast<bool>(written);
}

}  // namespace

std::string detailCsvPath(const LogFiles& log, const CheckRecord& check) {
    if (log.logFolder.empty()) return {};
    const RunRecord& row = check.row;
    // The name around the serial number, then the serial number in what room is left.
    std::string tail;
    appendf(tail, "_%s_%04d_%02d.csv", check.detail.ngTotal == 0 ? "OK" : "NG", row.checkNo, row.retryNo);
    const std::string head = log.logTimestamp + "_";
    const std::size_t room = kMaxFileName - std::min(kMaxFileName, head.size() + tail.size());
    return folderWithoutSlash(log.logFolder) + "/" + head + fileNameSerial(row.serialNo, room) + tail;
}

std::string drawingSnapshotPath(const LogFiles& log, const CheckRecord& check, int step, bool ok) {
    if (log.logFolder.empty()) return {};
    const RunRecord& row = check.row;
    std::string tail;
    appendf(tail, "_%s_%04d_%02d_drawstep%d.png", ok ? "OK" : "NG", row.checkNo, row.retryNo, step);
    const std::string head = log.logTimestamp + "_";
    const std::size_t room = kMaxFileName - std::min(kMaxFileName, head.size() + tail.size());
    return folderWithoutSlash(log.logFolder) + "/" + head + fileNameSerial(row.serialNo, room) + tail;
}

std::string detailCsvBody(const RecipeSettings& recipe, const CheckRecord& check) {
    Body b{recipe, check, check.detail, check.row, {}, false};
    checkSection(b);
    comSection(b);
    serialSection(b);
    firmwareSection(b);
    hsyncSection(b);
    shortSection(b);
    rawSection(b);
    // From here on the short and raw results count as failures.
    if (b.d.shortTotal != 0 || b.d.rawTotal != 0) b.failed = true;
    scanSection(b);
    externalSwitchSection(b);
    drawingSection(b);
    appendTkpSection(b.out, recipe, check, b.failed);
    appendHomeKeySection(b.out, recipe, check, b.failed);
    endSection(b);
    return std::move(b.out);
}

std::string detailCsvText(const RecipeSettings& recipe, const CheckRecord& check, const LogFiles& log) {
    const RunRecord& row = check.row;
    std::string text = log.detailCsvHeader;
    appendf(text, "%s,%6d-%03d,", check.endTime.c_str(), row.checkNo, row.retryNo);
    // Padded to its column as "%-18s" would, then quoted whole where the format needs it.
    std::string serial = row.serialNo;
    if (serial.size() < kSerialColumn) serial.append(kSerialColumn - serial.size(), ' ');
    text += csvField(serial);
    appendf(text, ",%s,%s,%s,%s,%s,%s,%s,%s\n", row.colResult.c_str(), row.colCode.c_str(), row.colCom.c_str(),
            row.colFw.c_str(), row.colShort.c_str(), row.colOpen.c_str(), row.colRaw.c_str(), row.colDraw.c_str());
    text += "\n\n\n//******************** detail result ********************//\n";
    text += detailCsvBody(recipe, check);
    return text;
}

std::vector<std::string> removeSimpleResult(const RecipeSettings& recipe) {
    if (recipe.SIMPLE_RESULT == 0) return {};
    // The summary speaks for the check that wrote it: gone once the next one begins, so a check
    // that ends without a verdict leaves none.
    std::error_code ec;
    std::filesystem::remove(kSimpleResultFile, ec);
    if (ec) return {std::string("Failed to remove '") + kSimpleResultFile + "': " + ec.message()};
    return {};
}

DetailCsvWrite writeDetailCsv(const RecipeSettings& recipe, const CheckRecord& check, const LogFiles& log, bool ok) {
    DetailCsvWrite result;
    if (recipe.SIMPLE_RESULT != 0)
        writeWholeOrSay(result.failures, kSimpleResultFile,
                        std::string(ok ? "PASS\n1\n" : "FAIL\n0\n") + log.logTimestamp + "\n", "");
    const std::string path = detailCsvPath(log, check);
    if (path.empty()) return result;
    if (writeWholeOrSay(result.failures, path, detailCsvText(recipe, check, log), "detail log "))
        result.detailCsv = path;
    return result;
}

}  // namespace station
