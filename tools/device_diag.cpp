#include "tools/device_diag.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <optional>

#include "controllerlink/collection_choice.h"
#include "controllerlink/frame_reader.h"
#include "hidlink/device_table.h"
#include "hidlink/queued_reports.h"
#include "platform/tick_counter.h"
#include "station/device/hsync_tunnel.h"
#include "station/viewers/logic/raw_viewer.h"
#include "station/viewers/logic/viewer_device.h"

namespace diag {

// The engineer drives the station's own command set.
using namespace station;

namespace {

struct Options {
    std::string command;
    std::string hsyncWhat;
    ControllerGeneration generation = ControllerGeneration::R6;
    std::uint32_t frames = 8;
    std::uint32_t retry = 3;
    int floorMode = 0;
    bool useCalF = false;
    std::optional<std::uint16_t> wait;
    std::optional<std::uint16_t> threshold;
    std::uint32_t count = 1;
    bool countGiven = false;
    bool onPen = false;
    std::uint32_t window = 16;
    bool keepMaintenance = false;
    // stream --dump: the folder of the raw data viewer's CSV dump, and the view it dumps.
    std::optional<std::string> dumpFolder;
    station::viewers::RawView dumpView = station::viewers::RawView::Raw;
    bool viewGiven = false;
};

const char* kUsage =
    "usage: vorlick-diag device <command> [options]\n"
    "\n"
    "commands:\n"
    "  registers                 register image and the values derived from it\n"
    "  version                   maintenance version bytes\n"
    "  query                     touch query and pen query\n"
    "  raw|cal|actual|sd         averaged frame as CSV on stdout, one row per Tx line\n"
    "                            (sd: the mean grid, an empty line, the sigma grid);\n"
    "                            retries and read flags on stderr; blank frames up to\n"
    "                            the retry limit fail the command\n"
    "      --frames N (8) --retry M (3) --floor 0|1 (0; raw, cal, sd) --calf (actual)\n"
    "  pincheck --wait W --threshold T\n"
    "                            one line per Rx and Tx pin with its Vdd/Gnd faults\n"
    "  hsync info|sample|noise|direct [--count N (1)]\n"
    "                            Hsync MCU through the pen collection\n"
    "  stream [--count N (1)]    image frames as the raw data viewer streams them: per\n"
    "                            frame a line 'frame,K,status,S', one CSV row per Tx\n"
    "                            line and the noise row as 'noise,...'\n"
    "      --dump FOLDER [--view raw|average|sigma]\n"
    "                            instead, feed the frames to the raw data viewer and\n"
    "                            write its CSV dump of that view into FOLDER when the\n"
    "                            count is reached (or on Ctrl+C)\n"
    "  watch [--pen] [--count N (0)]\n"
    "                            the input reports of the touch (or pen) collection,\n"
    "                            decoded, one per line\n"
    "  lines [--window N (16)] [--count N (1)]\n"
    "                            the TKP pen's line statistics: per round one line per\n"
    "                            X and Y line with its average and standard deviation\n"
    "  A count of 0 runs until Ctrl+C, which ends every command cleanly.\n"
    "\n"
    "common options:\n"
    "  --cpu R5|R6               controller generation (R6)\n"
    "  --keep-maintenance        leave the controller in maintenance mode\n"
    "  --trace                   hex-dump every report on stderr\n";

bool parseNumber(const std::string& text, std::uint32_t max, std::uint32_t& out) {
    if (text.empty()) return false;
    int base = 10;
    const char* first = text.data();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) base = 16, first += 2;
    std::uint64_t v = 0;
    const auto r = std::from_chars(first, text.data() + text.size(), v, base);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v > max) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

// Empty on success, else the usage error.
std::string parse(const std::vector<std::string>& args, Options& o) {
    if (args.empty()) return "a command is needed";
    o.command = args[0];
    static const std::vector<std::string> known = {"registers", "version",  "query", "raw",    "cal",   "actual",
                                                   "sd",        "pincheck", "hsync", "stream", "watch", "lines"};
    if (std::find(known.begin(), known.end(), o.command) == known.end()) return "unknown command '" + o.command + "'";
    std::size_t i = 1;
    if (o.command == "hsync") {
        if (args.size() < 2) return "hsync needs info, sample, noise or direct";
        o.hsyncWhat = args[1];
        if (o.hsyncWhat != "info" && o.hsyncWhat != "sample" && o.hsyncWhat != "noise" && o.hsyncWhat != "direct")
            return "unknown hsync command '" + o.hsyncWhat + "'";
        i = 2;
    }
    const bool frameRead = o.command == "raw" || o.command == "cal" || o.command == "actual" || o.command == "sd";
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::uint32_t max, std::uint32_t& out) -> std::string {
            if (i + 1 >= args.size()) return a + " needs a value";
            if (!parseNumber(args[++i], max, out)) return "bad value '" + args[i] + "' for " + a;
            return {};
        };
        std::string e;
        std::uint32_t v = 0;
        if (a == "--trace") {
            hidlink::setTrace(true);
        } else if (a == "--keep-maintenance") {
            o.keepMaintenance = true;
        } else if (a == "--cpu") {
            if (i + 1 >= args.size()) return "--cpu needs R5 or R6";
            const auto g = controllerlink::parseGeneration(args[++i]);
            if (!g) return "--cpu must be R5 or R6";
            o.generation = *g;
        } else if (frameRead && a == "--frames") {
            // No frames would print a grid of zeros that nothing measured.
            if (e = value(100000, o.frames); e.empty() && o.frames == 0) e = "--frames must be at least 1";
        } else if (frameRead && a == "--retry") {
            e = value(100000, o.retry);
        } else if (frameRead && o.command != "actual" && a == "--floor") {
            if (e = value(1, v); e.empty()) o.floorMode = static_cast<int>(v);
        } else if (o.command == "actual" && a == "--calf") {
            o.useCalF = true;
        } else if (o.command == "pincheck" && a == "--wait") {
            if (e = value(0xFFFF, v); e.empty()) o.wait = static_cast<std::uint16_t>(v);
        } else if (o.command == "pincheck" && a == "--threshold") {
            if (e = value(0xFFFF, v); e.empty()) o.threshold = static_cast<std::uint16_t>(v);
        } else if ((o.command == "hsync" || o.command == "stream" || o.command == "watch" || o.command == "lines") &&
                   a == "--count") {
            e = value(o.command == "hsync" ? 10000 : 0xFFFFFFFF, o.count);
            o.countGiven = true;
        } else if (o.command == "stream" && a == "--dump") {
            if (i + 1 >= args.size()) return "--dump needs a folder";
            o.dumpFolder = args[++i];
        } else if (o.command == "stream" && a == "--view") {
            if (i + 1 >= args.size()) return "--view needs raw, average or sigma";
            const std::string& view = args[++i];
            o.viewGiven = true;
            // The judgement's views need a recipe's tables, which this command does not read.
            if (view == "raw")
                o.dumpView = station::viewers::RawView::Raw;
            else if (view == "average")
                o.dumpView = station::viewers::RawView::Average;
            else if (view == "sigma")
                o.dumpView = station::viewers::RawView::Sigma;
            else
                return "--view must be raw, average or sigma";
        } else if (o.command == "watch" && a == "--pen") {
            o.onPen = true;
        } else if (o.command == "lines" && a == "--window") {
            if (e = value(controllerlink::kMaxLineWindow, o.window); e.empty() && o.window == 0)
                e = "--window must be at least 1";
        } else {
            return "unknown option '" + a + "' for " + o.command;
        }
        if (!e.empty()) return e;
    }
    if (o.command == "pincheck" && (!o.wait || !o.threshold)) return "pincheck needs --wait and --threshold";
    if (o.command == "watch" && !o.countGiven) o.count = 0;
    if (o.viewGiven && !o.dumpFolder) return "--view needs --dump";
    return {};
}

class Session {
public:
    Session(hidlink::Backend& backend, platform::Clock& clock, std::FILE* err)
        : table_(backend),
          touch_(table_, controllerlink::TOUCH_KEY, clock),
          pen_(table_, controllerlink::PEN_KEY, clock),
          err_(err) {}
    ~Session() { finish(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    DeviceLink& touch() { return touch_; }
    DeviceLink& pen() { return pen_; }
    void keepMaintenance(bool keep) { keep_ = keep; }

    // Names the operation and, when the link knows it, the node and the system's reason.
    bool fail(const char* operation, const DeviceLink& link) {
        const std::string& why = link.lastError();
        std::fprintf(err_, "vorlick-diag device: %s failed%s%s\n", operation, why.empty() ? "" : ": ", why.c_str());
        return false;
    }
    bool fail(const char* operation) { return fail(operation, touch_); }

    // Puts the controller back in normal mode (unless asked to keep it) and closes. False, with
    // a line on `err`, when the controller could not be put back.
    bool finish() {
        bool ok = true;
        if (maintenance_ && !keep_) {
            maintenance_ = false;
            if (!touch_.setDeviceMode(0)) {
                ok = fail("returning to normal mode (setDeviceMode(0))");
                std::fprintf(err_, "vorlick-diag device: the controller may still be in maintenance mode\n");
            }
        }
        pen_.close();
        touch_.close();
        return ok;
    }

    // With the backend's reason: the node's error, or the program that holds the controller.
    bool failOpen(const char* operation) {
        const std::string& why = table_.backend().lastError();
        std::fprintf(err_, "vorlick-diag device: %s failed%s%s\n", operation, why.empty() ? "" : ": ", why.c_str());
        return false;
    }

    bool open(ControllerGeneration gen, bool withPen) {
        touch_.refreshFoundList();
        const auto found = std::span(touch_.foundList()).first(touch_.found());
        const auto t = controllerlink::findTouchCollection(found, gen);
        if (!t) {
            // A controller whose node cannot be opened is left out of the found list; say why.
            if (!touch_.skipped().empty()) {
                const hidlink::SkippedNode& node = touch_.skipped().front();
                std::fprintf(err_, "vorlick-diag device: opening the touch collection failed: cannot open %s: %s\n",
                             node.path.c_str(), node.reason.c_str());
                return false;
            }
            return fail("finding the touch collection");
        }
        if (!touch_.open(*t)) return failOpen("opening the touch collection");
        if (withPen) {
            const auto p = controllerlink::findPenCollection(found, *t, gen);
            if (!p) return fail("finding the pen collection", pen_);
            if (!pen_.open(*p)) return fail("opening the pen collection", pen_);
        }
        return true;
    }

    bool enterMaintenance() {
        if (!touch_.setDeviceMode(1)) return fail("setDeviceMode(1)");
        maintenance_ = true;
        return true;
    }

private:
    hidlink::DeviceTable table_;
    DeviceLink touch_;
    DeviceLink pen_;
    std::FILE* err_;
    bool maintenance_ = false;
    bool keep_ = false;
};

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", bytes[i]);
        s += b;
    }
    return s;
}

int runRegisters(Session& s, std::FILE* out) {
    DeviceLink& t = s.touch();
    if (!t.readRegisters()) return s.fail("readRegisters"), 1;
    for (std::size_t w = 0; w < kRegisterBytes / 2; ++w)
        std::fprintf(out, "word%02zu\t0x%04X%s", w, t.registerWord(w),
                     (w % 8 == 7 || w + 1 == kRegisterBytes / 2) ? "\n" : "\t");
    std::fprintf(out,
                 "rxCount\t%u\ntxCount\t%u\ntouchMaxX\t%u\ntouchMaxY\t%u\nautoCalibration\t%u\n"
                 "extraInfo0\t0x%02X\nframeWord46\t0x%04X\nrowsPerRecordFrame\t%u\nextraInfo51\t0x%02X\n",
                 t.rxCount(), t.txCount(), t.readout().touchMaxX, t.readout().touchMaxY, t.readout().autoCalibration,
                 t.readout().extraInfo0, t.readout().frameWord46, t.rowsPerRecordFrame(), t.readout().extraInfo51);
    return 0;
}

int runVersion(Session& s, std::FILE* out) {
    const auto version = s.touch().readMaintenanceVersion();
    if (!version) return s.fail("readMaintenanceVersion"), 1;
    std::fprintf(out, "maintenanceVersion\t%s\n", hexBytes(*version).c_str());
    return 0;
}

int runQuery(Session& s, ControllerGeneration gen, std::FILE* out) {
    DeviceLink& t = s.touch();
    const std::optional<TouchQuery> touch = t.readTouchQuery();
    if (!touch) return s.fail("readTouchQuery"), 1;
    std::fprintf(out, "touchQuery\t%s\ntouchFirmwareMajor\t0x%04X\ntouchFirmwareMinor\t0x%02X\n",
                 hexBytes(touch->bytes).c_str(), touch->firmwareMajor, touch->firmwareMinor);
    DeviceLink& p = s.pen();
    const std::optional<PenQuery> pen = p.readPenQuery(gen);
    if (!pen) return s.fail("readPenQuery", p), 1;
    std::fprintf(out, "penMaxX\t%u\npenMaxY\t%u\npenMaxPressure\t%u\npenFirmware\t0x%04X\n", pen->maxX, pen->maxY,
                 pen->maxPressure, pen->firmware);
    return 0;
}

int runFrames(Session& s, const Options& o, std::FILE* out, std::FILE* err) {
    DeviceLink& t = s.touch();
    if (!t.readRegisters()) return s.fail("readRegisters"), 1;
    const char* op = "";
    std::uint32_t flag = 0;
    // The standard deviation read gives the mean as its first grid and the sigma as its second.
    DeviationFrame read;
    if (o.command == "raw" || o.command == "cal" || o.command == "actual") {
        AveragedFrame f;
        if (o.command == "raw")
            op = "readRawAverage", f = t.readRawAverage(o.frames, o.retry, o.floorMode), flag = RawOutOfRetries;
        else if (o.command == "cal")
            op = "readCalAverage", f = t.readCalAverage(o.frames, o.retry, o.floorMode), flag = CalOutOfRetries;
        else
            op = "readActualAverage", f = t.readActualAverage(o.frames, o.retry, o.useCalF), flag = ActualOutOfRetries;
        read = {f.complete, f.average, {}, f.retries, f.outOfRetries};
    } else {
        op = "readStandardDeviation", read = t.readStandardDeviation(o.frames, o.retry, o.floorMode);
        flag = SdOutOfRetries;
    }
    if (!read.complete) return s.fail(op), 1;
    const std::uint32_t retries = read.retries;
    const std::uint32_t flags = read.outOfRetries ? flag : 0;
    // Blank frames up to the retry limit: fewer frames than asked for were averaged (perhaps
    // none), so the grid is not the measurement asked for.
    if (flags != 0) {
        std::fprintf(err, "rx %u tx %u retries %u flags 0x%X\n", t.rxCount(), t.txCount(), retries, flags);
        std::fprintf(err, "vorlick-diag device: %s ran out of retries: %u blank frames before %u frames were read\n",
                     op, retries, o.frames);
        return 1;
    }
    std::fputs(formatGridCsv(read.mean, t.rxCount(), t.txCount()).c_str(), out);
    if (o.command == "sd") {
        std::fputs("\n", out);
        std::fputs(formatGridCsv(read.sigma, t.rxCount(), t.txCount()).c_str(), out);
    }
    std::fprintf(err, "rx %u tx %u retries %u flags 0x%X\n", t.rxCount(), t.txCount(), retries, flags);
    return 0;
}

int runPinCheck(Session& s, const Options& o, std::FILE* out) {
    DeviceLink& t = s.touch();
    if (!t.readRegisters()) return s.fail("readRegisters"), 1;
    const std::optional<PinCheck> pins = t.runPinCheck(*o.wait, *o.threshold);
    if (!pins) return s.fail("runPinCheck"), 1;
    std::fputs(formatPinCheck(*pins, t.rxCount(), t.txCount()).c_str(), out);
    return 0;
}

int runHsync(Session& s, const Options& o, std::FILE* out, std::FILE* err) {
    DeviceLink& p = s.pen();
    if (o.hsyncWhat == "direct") {
        const std::optional<HsyncDirectWords> direct = p.readHsyncDirect();
        if (!direct) return s.fail("readHsyncDirect", p), 1;
        for (std::size_t i = 0; i < direct->size(); ++i)
            std::fprintf(out, "hsyncDirect[%zu]\t0x%08X\n", i, (*direct)[i]);
        std::fprintf(out, "signal\t%s\n", ((*direct)[8] & 1u) != 0 ? "enabled" : "disabled");
        return 0;
    }
    const auto request = [&](std::uint16_t command, const char* name, std::uint16_t& value) {
        const HsyncStatus st = hsyncRequestWithRetries(p, command, value);
        if (st == HsyncStatus::Ok) return true;
        const bool transfer = st == HsyncStatus::SendRefused || st == HsyncStatus::ReadRefused;
        std::fprintf(err, "vorlick-diag device: hsync %s failed: %s (status %d)%s%s\n", name, hsyncFailureText(st),
                     static_cast<int>(st), transfer ? ": " : "", transfer ? p.lastError().c_str() : "");
        return false;
    };
    std::uint16_t value = 0;
    if (o.hsyncWhat == "info") {
        if (!request(kHsyncProductId, "product id", value)) return 1;
        std::fprintf(out, "pid\t0x%04X\n", value);
        if (!request(kHsyncFirmwareVersion, "firmware version", value)) return 1;
        std::fprintf(out, "version\t0x%04X\n", value);
        return 0;
    }
    const bool sample = o.hsyncWhat == "sample";
    for (std::uint32_t n = 0; n < o.count; ++n) {
        if (!request(sample ? kHsyncSample : kHsyncNoise, sample ? "sample" : "noise sample", value)) return 1;
        if (sample) {
            // The MCU sends the sample high byte first.
            const auto v = static_cast<std::uint16_t>((value >> 8) | ((value & 0xFF) << 8));
            std::fprintf(out, "%u\n", v);
        } else {
            std::fprintf(out, "%d\n", static_cast<std::int16_t>(value));
        }
    }
    return 0;
}

// The live views wait in slices so that Ctrl+C (the stop flag) is seen at once.
constexpr int kSliceMs = 200;
// A stream that brings nothing for this long is reported instead of waited for.
constexpr int kSilenceMs = 10000;

bool stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

// The raw data viewer without its window: START, the frames, then the Space key's dump.
int runStreamDump(Session& s, const Options& o, std::FILE* out, std::FILE* err, const std::atomic<bool>* stop) {
    DeviceLink& t = s.touch();
    station::viewers::DeviceLinkViewerPort port(t);
    controllerlink::QueuedImageFrames frames(4);
    // No check ran and no recipe is read: the viewer opens on empty tables.
    struct Empty {
        Grid grid{};
        JudgementMaps maps;
        RecipeSettings recipe;
    };
    const auto empty = std::make_unique<Empty>();
    station::viewers::RawViewer viewer({.device = port,
                                        .lastRaw = empty->grid,
                                        .lastDiff = empty->maps.rawDiff,
                                        .upperMap = empty->maps.upperMap,
                                        .lowerMap = empty->maps.lowerMap,
                                        .recipe = empty->recipe,
                                        .marginsAvailable = false,
                                        .frameSink = frames,
                                        .clock = t.clock(),
                                        .ticks = platform::systemTickCounter(),
                                        .tableAccess = {},
                                        .dumpFolder = *o.dumpFolder});
    viewer.start();
    if (!t.frameReaderRunning()) {
        std::fprintf(err, "vorlick-diag device: %.*s\n", static_cast<int>(viewer.statusText().size()),
                     viewer.statusText().data());
        return 1;
    }
    const auto frame = std::make_unique<controllerlink::ImageFrame>();
    int silent = 0;
    int code = 0;
    for (std::uint32_t k = 0; (o.count == 0 || k < o.count) && !stopped(stop);) {
        std::uint32_t status = 0;
        if (!frames.take(*frame, status, kSliceMs)) {
            if ((silent += kSliceMs) < kSilenceMs) continue;
            std::fprintf(err, "vorlick-diag device: no image frame came within %d ms\n", kSilenceMs);
            code = 1;
            break;
        }
        silent = 0;
        ++k;
        viewer.handleFrame(status, *frame);
        // A refused frame is told as the viewer's status bar tells it.
        if (status != 0)
            std::fprintf(err, "%.*s", static_cast<int>(viewer.statusText().size()), viewer.statusText().data());
    }
    viewer.stop();
    if (code != 0) return code;
    if (!viewer.hasData()) {
        std::fprintf(err, "vorlick-diag device: no frame without error came; nothing to dump\n");
        return 1;
    }
    viewer.setView(o.dumpView);
    const bool written = viewer.dump();
    std::fprintf(written ? out : err, "%.*s\n", static_cast<int>(viewer.statusText().size()),
                 viewer.statusText().data());
    return written ? 0 : 1;
}

int runStream(Session& s, const Options& o, std::FILE* out, std::FILE* err, const std::atomic<bool>* stop) {
    DeviceLink& t = s.touch();
    if (!t.readRegisters()) return s.fail("readRegisters"), 1;
    if (o.dumpFolder) return runStreamDump(s, o, out, err, stop);
    if (!t.setScanArea()) return s.fail("setScanArea"), 1;
    if (!t.selectResponse(1, 0)) return s.fail("select response 0x10 (16-bit image frames)"), 1;
    controllerlink::QueuedImageFrames frames(4);
    if (!t.startFrameReader(frames)) return s.fail("starting the frame reader"), 1;
    const auto frame = std::make_unique<controllerlink::ImageFrame>();
    const std::size_t rx = std::min<std::size_t>(t.rxCount(), controllerlink::kFrameRx);
    const std::size_t tx = std::min<std::size_t>(t.txCount(), controllerlink::kFrameTx);
    int code = 0;
    int silent = 0;
    for (std::uint32_t k = 0; (o.count == 0 || k < o.count) && !stopped(stop);) {
        std::uint32_t status = 0;
        if (!frames.take(*frame, status, kSliceMs)) {
            if ((silent += kSliceMs) < kSilenceMs) continue;
            std::fprintf(err, "vorlick-diag device: no image frame came within %d ms\n", kSilenceMs);
            code = 1;
            break;
        }
        silent = 0;
        ++k;
        std::string text = "frame," + std::to_string(k) + ",status," + std::to_string(status) + "\n";
        const auto row = [&](std::size_t r, const char* label) {
            if (label != nullptr) text += label;
            for (std::size_t c = 0; c < rx; ++c) {
                if (c != 0 || label != nullptr) text += ',';
                text += std::to_string(frame->cells[r][c]);
            }
            text += '\n';
        };
        for (std::size_t r = 0; r < tx; ++r) row(r, nullptr);
        row(controllerlink::kNoiseRow, "noise");
        std::fputs(text.c_str(), out);
        std::fflush(out);
    }
    t.stopFrameReader();
    if (frames.dropped() != 0)
        std::fprintf(err, "%llu frames came while the output was busy and were not shown\n",
                     static_cast<unsigned long long>(frames.dropped()));
    return code;
}

std::uint16_t le16At(const std::vector<std::uint8_t>& r, std::size_t at) {
    return static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8));
}

// One input report as a line: line reports and pen samples decoded, anything else in hex.
std::string describeReport(const std::vector<std::uint8_t>& r) {
    char b[96];
    if (r.size() >= 4 && r[0] == 15) {
        const std::size_t n = r[3] & 0x1F;
        std::snprintf(b, sizeof b, "line %s lines=%u first=%u n=%zu samples=", (r[3] & 0x80) != 0 ? "Y" : "X", r[1],
                      r[2], n);
        std::string s = b;
        for (std::size_t j = 0; j < n && 5 + 2 * j < std::min<std::size_t>(r.size(), 40); ++j)
            s += (j == 0 ? "" : " ") + std::to_string(le16At(r, 4 + 2 * j));
        return s;
    }
    if (r.size() >= 8 && r[0] == 11) {
        std::snprintf(b, sizeof b, "pen status=0x%02X x=%u y=%u pressure=%u", r[1], le16At(r, 2), le16At(r, 4),
                      le16At(r, 6));
        return b;
    }
    std::snprintf(b, sizeof b, "report %u (%zu bytes): ", r.empty() ? 0U : r[0], r.size());
    return b + hexBytes(r);
}

int runWatch(Session& s, const Options& o, std::FILE* out, std::FILE* err, const std::atomic<bool>* stop) {
    DeviceLink& link = o.onPen ? s.pen() : s.touch();
    hidlink::QueuedReports reports;
    if (!link.startInputReader(reports)) return s.fail("starting the input reader", link), 1;
    int code = 0;
    for (std::uint32_t k = 0; (o.count == 0 || k < o.count) && !stopped(stop);) {
        hidlink::QueuedReport r;
        if (!reports.take(r, kSliceMs)) {
            if (!reports.ended().empty()) {
                std::fprintf(err, "vorlick-diag device: the collection went away\n");
                code = 1;
                break;
            }
            continue;
        }
        ++k;
        std::fprintf(out, "%s\n", describeReport(r.bytes).c_str());
        std::fflush(out);
    }
    link.stopInputReader();
    if (reports.dropped() != 0)
        std::fprintf(err, "%llu reports came while the output was busy and were not shown\n",
                     static_cast<unsigned long long>(reports.dropped()));
    return code;
}

int runLines(Session& s, const Options& o, std::FILE* out, std::FILE* err, const std::atomic<bool>* stop) {
    DeviceLink& pen = s.pen();
    if (!pen.startPenMaintenance()) return s.fail("startPenMaintenance", pen), 1;
    hidlink::QueuedReports reports;
    pen.resetLineStatistics(o.window);
    int code = 0;
    if (!pen.startInputReader(reports)) {
        code = (s.fail("starting the pen's input reader", pen), 1);
    }
    int silent = 0;
    for (std::uint32_t round = 0; code == 0 && (o.count == 0 || round < o.count) && !stopped(stop);) {
        hidlink::QueuedReport r;
        if (!reports.take(r, kSliceMs)) {
            if ((silent += kSliceMs) < kSilenceMs) continue;
            std::fprintf(err, "vorlick-diag device: no line report came within %d ms\n", kSilenceMs);
            code = 1;
            break;
        }
        silent = 0;
        if (r.bytes.empty() || r.bytes[0] != 15 || !pen.addLineReport(r.bytes) || !pen.lineStatisticsComplete())
            continue;
        ++round;
        const controllerlink::LineStatisticsCopy c = pen.copyLineStatistics();
        std::string text = "round," + std::to_string(round) + ",window," + std::to_string(o.window) + "\n";
        char b[64];
        for (std::size_t l = 0; l < std::min<std::size_t>(c.xLines, controllerlink::kStatisticsXLines); ++l) {
            std::snprintf(b, sizeof b, "X,%zu,%.2f,%.2f\n", l, static_cast<double>(c.averages[l]),
                          static_cast<double>(c.deviations[l]));
            text += b;
        }
        for (std::size_t l = 0; l < std::min<std::size_t>(c.yLines, controllerlink::kStatisticsYLines); ++l) {
            const std::size_t i = controllerlink::kStatisticsXLines + l;
            std::snprintf(b, sizeof b, "Y,%zu,%.2f,%.2f\n", l, static_cast<double>(c.averages[i]),
                          static_cast<double>(c.deviations[i]));
            text += b;
        }
        std::fputs(text.c_str(), out);
        std::fflush(out);
        pen.resetLineStatistics(o.window);
    }
    pen.stopInputReader();
    if (!pen.stopPenMaintenance()) code = (s.fail("stopPenMaintenance", pen), 1);
    return code;
}

}  // namespace

const char* deviceDiagUsage() { return kUsage; }

std::string formatGridCsv(const Grid& grid, std::uint32_t rxCount, std::uint32_t txCount) {
    const std::size_t rx = std::min<std::size_t>(rxCount, kGridRx);
    const std::size_t tx = std::min<std::size_t>(txCount, kGridTx);
    std::string s;
    char cell[40];
    for (std::size_t t = 0; t < tx; ++t) {
        for (std::size_t r = 0; r < rx; ++r) {
            std::snprintf(cell, sizeof cell, r == 0 ? "%.3f" : ",%.3f", grid[t][r]);
            s += cell;
        }
        s += '\n';
    }
    return s;
}

std::string formatPinCheck(const PinCheck& check, std::uint32_t rxUsed, std::uint32_t txUsed) {
    std::string s;
    char line[96];
    const auto pins = [&](const char* side, std::span<const PinResult> list, std::uint32_t used) {
        for (std::size_t n = 0; n < list.size(); ++n) {
            const PinResult& p = list[n];
            std::snprintf(line, sizeof line, "%s\t%zu\t%s\t%s\tvdd=%u\tgnd=%u\n", side, n, n < used ? "used" : "unused",
                          p.state == 3   ? "NG"
                          : p.state == 2 ? "OK"
                                         : "--",
                          p.vddFault, p.gndFault);
            s += line;
        }
    };
    pins("Rx", check.rxPins, rxUsed);
    pins("Tx", check.txPins, txUsed);
    const auto& c = check.faultCounters;
    std::snprintf(line, sizeof line, "faults\trxVdd=%u\trxGnd=%u\ttxVdd=%u\ttxGnd=%u\n", c[RxVdd], c[RxGnd], c[TxVdd],
                  c[TxGnd]);
    s += line;
    return s;
}

int runDeviceDiag(hidlink::Backend& backend, platform::Clock& clock, const std::vector<std::string>& args,
                  std::FILE* out, std::FILE* err, const std::atomic<bool>* stop) {
    Options o;
    if (const std::string e = parse(args, o); !e.empty()) {
        std::fprintf(err, "vorlick-diag device: %s\n\n%s", e.c_str(), kUsage);
        return 2;
    }
    const bool withPen = o.command == "query" || o.command == "hsync" || o.command == "lines" || o.onPen;
    Session s(backend, clock, err);
    s.keepMaintenance(o.keepMaintenance);
    int code = 1;
    if (s.open(o.generation, withPen) && s.enterMaintenance()) {
        if (o.command == "registers") {
            code = runRegisters(s, out);
        } else if (o.command == "version") {
            code = runVersion(s, out);
        } else if (o.command == "query") {
            code = runQuery(s, o.generation, out);
        } else if (o.command == "pincheck") {
            code = runPinCheck(s, o, out);
        } else if (o.command == "hsync") {
            code = runHsync(s, o, out, err);
        } else if (o.command == "stream") {
            code = runStream(s, o, out, err, stop);
        } else if (o.command == "watch") {
            code = runWatch(s, o, out, err, stop);
        } else if (o.command == "lines") {
            code = runLines(s, o, out, err, stop);
        } else {
            code = runFrames(s, o, out, err);
        }
    }
    // A controller left in maintenance mode fails the command, whatever it printed.
    if (!s.finish()) code = 1;
    return code;
}

}  // namespace diag
