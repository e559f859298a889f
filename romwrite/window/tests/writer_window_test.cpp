#include "romwrite/window/writer_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QProgressBar>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "romwrite/window/tests/window_bench.h"

namespace romwrite {
namespace {

using testing::BoxAnswerer;
using testing::f09Spec;
using testing::flashHolds;
using testing::makeImage;
using testing::WindowBench;
using testing::writeHexFile;
using Layout = WriterWindow::Layout;

QString text(WriterWindow& w, const char* name) {
    if (auto* e = w.findChild<QLineEdit*>(name)) return e->text();
    if (auto* l = w.findChild<QLabel*>(name)) return l->text();
    return "<none>";
}

bool enabled(WriterWindow& w, const char* name) { return w.findChild<QPushButton*>(name)->isEnabled(); }

TEST(WriterWindowLook, TitlesInitialTextsAndEnabling) {
    WriterWindow writer(Layout::Writer);
    EXPECT_EQ(writer.windowTitle(), "Firmware Write Utility for Kavor USB sensor Ver.3.00");
    const std::pair<const char*, const char*> buttons[] = {
        {"fileSelect", "File Select"},   {"write", "WRITE"},
        {"encWrite", "ENC WRITE"},       {"deviceInfo", "Get Device Info"},
        {"deviceReset", "Device reset"}, {"exit", "EXIT"}};
    for (const auto& [name, caption] : buttons) {
        ASSERT_NE(writer.findChild<QPushButton*>(name), nullptr) << name;
        EXPECT_EQ(writer.findChild<QPushButton*>(name)->text(), caption);
    }
    for (const char* off : {"write", "encWrite", "deviceInfo", "deviceReset"})
        EXPECT_FALSE(enabled(writer, off)) << off;
    for (const char* on : {"fileSelect", "exit"}) EXPECT_TRUE(enabled(writer, on)) << on;
    EXPECT_EQ(writer.findChild<QCheckBox*>("ignoreMatching")->text(), "Ignore matching");
    EXPECT_EQ(writer.findChild<QCheckBox*>("setSecurity")->text(), "Set Security");
    EXPECT_EQ(text(writer, "statusBlank"), " ");
    EXPECT_EQ(writer.findChild<QLabel*>("statusBlank")->width(), 200);
    for (const char* name : {"vendorId", "path", "checksum", "mpuType"})
        EXPECT_TRUE(writer.findChild<QLineEdit*>(name)->isReadOnly()) << name;

    WriterWindow updating(Layout::Updating);
    EXPECT_EQ(updating.windowTitle(), "Multi-touch Device Firmware Update Utility   Ver.3.00");
    EXPECT_EQ(text(updating, "phase"), "Updating");
    EXPECT_EQ(text(updating, "warning"), "Updating");
    for (const char* absent : {"fileSelect", "write", "encWrite", "deviceInfo", "deviceReset"})
        EXPECT_EQ(updating.findChild<QPushButton*>(absent), nullptr) << absent;
    EXPECT_EQ(updating.findChild<QLineEdit*>("interface"), nullptr);
}

// What each port call paints, in both windows; a control a window lacks stays untouched.
TEST(WriterWindowLook, PortCallsPaintTheirControls) {
    const char* warning =
        "Firmware update takes several minutes.\r\nDuring updating, you should NOT shut down or restart PC.";
    const struct {
        const char* what;
        std::function<void(WriterPort&)> call;
        const char* control;
        QString writer;  // "<none>" where the control is absent
        QString updating;
    } cases[] = {
        {"device",
         [](WriterPort& p) {
             p.showDeviceFields({"0x3A1C", "0x4002", "0x0203.FFFFFFFF", "USB"});
         },
         "version", "0x0203.FFFFFFFF", "0x0203.FFFFFFFF"},
        {"device",
         [](WriterPort& p) {
             p.showDeviceFields({"0x3A1C", "0x4002", "0x0203", "I2C"});
         },
         "interface", "I2C", "<none>"},
        {"cleared",
         [](WriterPort& p) {
             p.showDeviceFields({" ", " ", " ", " "});
         },
         "vendorId", " ", " "},
        {"phase", [&](WriterPort& p) { p.showPhase(3, "Programming ...", warning); }, "phase", "<none>",
         "Programming ..."},
        {"warning", [&](WriterPort& p) { p.showPhase(3, "Programming ...", warning); }, "warning", "<none>",
         "Firmware update takes several minutes.\nDuring updating, you should NOT shut down or restart PC."},
        {"done", [](WriterPort& p) { p.showPhase(5, "Completed.", ""); }, "warning", "<none>", ""},
        {"status", [](WriterPort& p) { p.setStatusText("Device reconnect error."); }, "statusText",
         "Device reconnect error.", "Device reconnect error."},
        {"status", [](WriterPort& p) { p.setStatusText("Hex file error."); }, "statusBlank", " ", " "},
        {"image", [](WriterPort& p) { p.showImage("/tmp/fw.hex", "0x5F64", "0x1000"); }, "path", "/tmp/fw.hex",
         "<none>"},
        {"image", [](WriterPort& p) { p.showImage("", "0x5F64", "0x1000"); }, "checksum", "0x5F64", "<none>"},
        {"image", [](WriterPort& p) { p.showImage("", "0x5F64", "0x1000"); }, "size", "0x1000", "<none>"},
        {"boot", [](WriterPort& p) { p.showBootloaderData("0x0021", "0x0054", "ON"); }, "ublVersion", "0x0054",
         "<none>"},
        {"boot", [](WriterPort& p) { p.showBootloaderData("0x0021", "0x0054", "ON"); }, "security", "ON", "<none>"},
        {"boot cleared", [](WriterPort& p) { p.showBootloaderData("", "", ""); }, "mpuType", "", "<none>"},
    };
    for (const auto& c : cases) {
        WriterWindow writer(Layout::Writer), updating(Layout::Updating);
        c.call(writer);
        c.call(updating);
        EXPECT_EQ(text(writer, c.control), c.writer) << c.what << " " << c.control;
        EXPECT_EQ(text(updating, c.control), c.updating) << c.what << " " << c.control;
    }
}

TEST(WriterWindowLook, ButtonStatesAndProgress) {
    WriterWindow w(Layout::Writer);
    w.setButtons(
        {.exit = true, .fileSelect = true, .deviceInfo = true, .reset = true, .write = true, .encWrite = false});
    const std::pair<const char*, bool> expected[] = {{"exit", true},        {"fileSelect", true}, {"deviceInfo", true},
                                                     {"deviceReset", true}, {"write", true},      {"encWrite", false}};
    for (const auto& [name, on] : expected) EXPECT_EQ(enabled(w, name), on) << name;
    w.setButtons({});
    for (const auto& [name, on] : expected) EXPECT_FALSE(enabled(w, name)) << name;

    WriterWindow u(Layout::Updating);
    u.setButtons({.exit = false});
    EXPECT_FALSE(enabled(u, "exit"));

    auto* bar = w.findChild<QProgressBar*>("progress");
    const struct {
        std::uint32_t value, range;
        int shownValue, shownMax;
    } bars[] = {
        {0x800, 0x1000, 0x800, 0x1000},
        {0x1000, 0x1000, 0x1000, 0x1000},
        {0, 0, 0, 1},              // no image yet: empty, not a busy indicator
        {0x40, 0x20, 0x20, 0x20},  // never past the end
        {0x2C000, 0x2C000, 0x2C000, 0x2C000},
    };
    for (const auto& b : bars) {
        w.setProgress(b.value, b.range);
        EXPECT_EQ(bar->value(), b.shownValue) << b.value << "/" << b.range;
        EXPECT_EQ(bar->maximum(), b.shownMax) << b.value << "/" << b.range;
        EXPECT_EQ(bar->minimum(), 0);
    }
}

TEST(WriterWindowBoxes, QuestionAndMessageBoxes) {
    WriterWindow w(Layout::Writer);
    for (auto [answer, yes] : {std::pair{QMessageBox::Yes, true}, std::pair{QMessageBox::No, false}}) {
        BoxAnswerer answerer(answer);
        EXPECT_EQ(w.askApplyUpdate(), yes);
        EXPECT_EQ(answerer.seen, std::vector<std::string>{"Confirm: Apply this update?"});
    }
    BoxAnswerer ok(QMessageBox::Ok);
    w.messageBox("Program already running!", "Error");
    w.messageBox("Completed", "romwrite");
    EXPECT_EQ(ok.seen, (std::vector<std::string>{"Error: Program already running!", "romwrite: Completed"}));
    EXPECT_EQ(ok.icons, (std::vector<QMessageBox::Icon>{QMessageBox::Critical, QMessageBox::NoIcon}));
}

// The buttons reach the logic; what they start is painted back.
TEST(WriterWindowButtons, ForwardedToTheWriter) {
    WindowBench w;
    auto dev = w.bench.add(f09Spec());
    const FirmwareImage img = makeImage(0x1000, 3);
    writeHexFile(w.bench.dir + "/fw.hex", img);
    ASSERT_TRUE(w.start({}));
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.text("vendorId"), "0x3A1C");
    EXPECT_TRUE(enabled(w.window, "deviceInfo"));
    EXPECT_FALSE(enabled(w.window, "write")) << "no file yet";

    // File Select: cancelled, then a file that is not there, then the file.
    std::vector<std::optional<std::string>> choices = {std::nullopt, std::string("missing.hex"), std::string("fw.hex")};
    w.window.chooseFile = [&] {
        auto c = choices.front();
        choices.erase(choices.begin());
        return c;
    };
    w.press("fileSelect");
    EXPECT_EQ(w.app.job().kind, JOB_IDLE);
    w.press("fileSelect");
    w.ticks(1);
    EXPECT_EQ(w.text("statusText"), "Hex file error.");
    w.press("fileSelect");
    EXPECT_EQ(w.text("path"), QString::fromStdString(w.bench.dir + "/fw.hex"));
    EXPECT_EQ(w.text("size"), "0x1000");
    EXPECT_EQ(w.text("statusText"), "");
    EXPECT_TRUE(enabled(w.window, "write"));

    w.press("deviceInfo");
    w.ticks(3);
    EXPECT_FALSE(enabled(w.window, "write")) << "the device is looked for again after every job";
    EXPECT_EQ(w.text("mpuType"), "0x0021");
    EXPECT_EQ(w.text("ublVersion"), "0x0054");
    EXPECT_EQ(w.text("security"), "OFF");

    w.ticks(kPresencePollTicks);
    // WRITE reads its two check boxes.
    const struct {
        bool ignore, security;
        std::uint32_t kind;
    } writes[] = {{false, false, JOB_WRITE}, {true, false, JOB_FORCE_WRITE}, {true, true, JOB_FORCE_WRITE}};
    for (const auto& c : writes) {
        w.get<QCheckBox>("ignoreMatching")->setChecked(c.ignore);
        w.get<QCheckBox>("setSecurity")->setChecked(c.security);
        w.press("write");
        EXPECT_EQ(w.app.job().kind, c.kind);
        EXPECT_EQ(w.app.job().setSecurity, c.security);
    }
    w.press("deviceReset");
    EXPECT_EQ(w.app.job().kind, JOB_RESET);
    w.ticks(30);
    EXPECT_EQ(w.app.job().kind, JOB_IDLE);

    w.press("exit");
    w.ticks(1);
    EXPECT_EQ(w.exitCodes, std::vector<int>{0});
    EXPECT_FALSE(w.window.isVisible());
    EXPECT_FALSE(w.stayAwake.held);
}

TEST(WriterWindowButtons, CloseIsRefusedWhileAWriteIsPending) {
    WindowBench w;
    w.bench.add(f09Spec());
    writeHexFile(w.bench.dir + "/_tmp.hex", makeImage(0x1000, 3));
    ASSERT_TRUE(w.start({"_tmp.hex", "-f1"}));
    EXPECT_FALSE(w.window.close());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&w.window, &escape);
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_FALSE(w.app.finished());

    WindowBench idle;
    ASSERT_TRUE(idle.start({}));
    QApplication::sendEvent(&idle.window, &escape);  // Escape closes like the title bar
    idle.ticks(1);
    EXPECT_EQ(idle.exitCodes, std::vector<int>{0});
}

// The station's write painted from start to end: asked, confirmed, ended with its exit code.
TEST(WriterWindowRun, StationWritePaintedToTheEnd) {
    WindowBench w;
    auto dev = w.bench.add(f09Spec());
    const FirmwareImage img = makeImage(0x1000, 3);
    writeHexFile(w.bench.dir + "/_tmp.hex", img);
    ASSERT_TRUE(w.start({"_tmp.hex", "-f1"}));
    EXPECT_EQ(w.text("checksum"), QString::asprintf("0x%04X", img.checksum));

    BoxAnswerer yes(QMessageBox::Yes);
    auto* bar = w.get<QProgressBar>("progress");
    int furthest = 0;
    bool buttonsOffDuringJob = true;
    for (int i = 0; i < 2000 && w.exitCodes.empty(); ++i) {
        w.ticks(1);
        if (bar->maximum() == 0x1000) furthest = std::max(furthest, bar->value());
        if (w.app.job().kind == JOB_CONFIRM && enabled(w.window, "exit")) buttonsOffDuringJob = false;
    }
    EXPECT_EQ(w.exitCodes, std::vector<int>{0});
    EXPECT_EQ(yes.seen, std::vector<std::string>{"Confirm: Apply this update?"});
    // The bar shows the offset of the block being sent: the last block's.
    EXPECT_GE(furthest, 0x1000 - 0x200);
    EXPECT_LT(furthest, 0x1000);
    EXPECT_TRUE(buttonsOffDuringJob);
    EXPECT_EQ(w.text("statusText"), "");
    EXPECT_FALSE(w.window.isVisible());
    EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
    EXPECT_TRUE(dev->confirmed());
}

TEST(WriterWindowRun, FailedWriteStaysOpenWithItsText) {
    WindowBench w;
    auto dev = w.bench.add(f09Spec());
    dev->blockStatus = [](int) { return std::optional<std::uint8_t>(0x0E); };
    writeHexFile(w.bench.dir + "/_tmp.hex", makeImage(0x1000, 3));
    ASSERT_TRUE(w.start({"_tmp.hex", "-f1"}));
    w.ticks(200);
    EXPECT_TRUE(w.exitCodes.empty()) << "a failed job stops being automatic";
    EXPECT_FALSE(w.text("statusText").isEmpty());
    EXPECT_TRUE(enabled(w.window, "exit"));
    EXPECT_TRUE(w.window.isVisible());
}

// With VORLICK_SCREENSHOTS naming a folder, the window as the operator sees it.
void screenshot(WriterWindow& window, const char* name) {
    const char* dir = std::getenv("VORLICK_SCREENSHOTS");
    if (dir == nullptr || *dir == '\0') return;
    window.resize(window.sizeHint().expandedTo(QSize(560, 0)));
    EXPECT_TRUE(window.grab().save(QString(dir) + "/" + name, "PNG")) << name;
}

// Holds the worker inside the write, on a block's status, until released; a bound so that a
// worker that never gets there fails the test instead of hanging it.
class HeldBlock {
public:
    HeldBlock(testing::ScriptedBootloader& device, int block) {
        device.blockStatus = [this, block](int at) -> std::optional<std::uint8_t> {
            if (at == block) {
                std::unique_lock lock(m_);
                held_ = true;
                cv_.notify_all();
                cv_.wait(lock, [&] { return go_; });
            }
            return std::nullopt;
        };
    }
    ~HeldBlock() { release(); }
    bool reached() {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(30), [&] { return held_; });
    }
    void release() {
        std::lock_guard lock(m_);
        go_ = true;
        cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool held_ = false, go_ = false;
};

// The operator's write with the worker on its own thread, held on a block: the ticks paint
// its progress and keep the buttons off; after it the window stays with the buttons on.
TEST(WriterWindowRun, OperatorWritePaintsProgressWhileTheWorkerRuns) {
    WindowBench w(Layout::Writer, {}, true);
    auto dev = w.bench.add(f09Spec());
    const FirmwareImage img = makeImage(0x1000, 3);
    writeHexFile(w.bench.dir + "/fw.hex", img);
    HeldBlock hold(*dev, 4);

    ASSERT_TRUE(w.start({}));
    w.window.chooseFile = [] { return std::optional<std::string>("fw.hex"); };
    w.press("fileSelect");
    w.get<QCheckBox>("ignoreMatching")->setChecked(true);
    w.press("write");
    w.ticks(1);  // starts the worker
    if (!hold.reached()) {
        hold.release();
        w.threadRunner.release();
        FAIL() << "the worker never reached block 4";
    }
    w.driver.tick();
    auto* bar = w.get<QProgressBar>("progress");
    EXPECT_GT(bar->value(), 0);
    EXPECT_LT(bar->value(), 0x1000);
    EXPECT_EQ(bar->maximum(), 0x1000);
    for (const char* off : {"exit", "fileSelect", "write", "deviceInfo"}) EXPECT_FALSE(enabled(w.window, off)) << off;
    EXPECT_FALSE(w.window.close()) << "a write cannot be closed";
    screenshot(w.window, "romwrite-writing.png");
    hold.release();

    BoxAnswerer yes(QMessageBox::Yes);
    for (int i = 0; i < 2000 && !(w.app.job().kind == JOB_IDLE && !w.threadRunner.exists()); ++i) {
        while (w.threadRunner.exists() && !w.threadRunner.ended()) std::this_thread::yield();
        w.ticks(1);
    }
    w.ticks(kPresencePollTicks);
    EXPECT_EQ(yes.seen, std::vector<std::string>{"Confirm: Apply this update?"});
    EXPECT_TRUE(w.exitCodes.empty()) << "an operator's write leaves the window open";
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_TRUE(enabled(w.window, "write"));
    EXPECT_EQ(w.text("vendorId"), "0x3A1C") << "the device found again";
    EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
    EXPECT_TRUE(dev->confirmed());
    screenshot(w.window, "romwrite-done.png");
}

// The probe file the real-display tests read the running window from.
class ProbeEnvironment {
public:
    ProbeEnvironment() : path_(testing::freshDirectory("probe") + "/window.probe") {
        ::setenv("VORLICK_WINDOW_PROBE", path_.c_str(), 1);
    }
    ~ProbeEnvironment() { ::unsetenv("VORLICK_WINDOW_PROBE"); }
    std::map<std::string, std::string> read() const {
        std::map<std::string, std::string> keys;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return keys;
    }

private:
    std::string path_;
};

std::string centreOf(QWidget* w) {
    const QPoint c = w->mapToGlobal(w->rect().center());
    return std::to_string(c.x()) + " " + std::to_string(c.y());
}

// The station's write read back from the probe alone: started, held half-way, asked, ended.
TEST(WriterWindowProbe, FollowsTheStationWriteToItsEnd) {
    ProbeEnvironment probe;
    WindowBench w(Layout::Writer, {}, true);
    auto dev = w.bench.add(f09Spec());
    const FirmwareImage img = makeImage(0x1000, 3);
    writeHexFile(w.bench.dir + "/_tmp.hex", img);
    HeldBlock hold(*dev, 4);

    ASSERT_TRUE(w.start({"_tmp.hex", "-f1"}));
    auto shown = probe.read();
    EXPECT_EQ(shown["title"], "Firmware Write Utility for Kavor USB sensor Ver.3.00");
    EXPECT_EQ(shown["dialog"], "100");
    EXPECT_EQ(shown["done"], "0");
    EXPECT_EQ(shown["box"], "");

    w.ticks(1);  // starts the worker
    if (!hold.reached()) {
        hold.release();
        w.threadRunner.release();
        FAIL() << "the worker never reached block 4";
    }
    w.driver.tick();
    shown = probe.read();
    auto* bar = w.get<QProgressBar>("progress");
    ASSERT_GT(bar->value(), 0);
    EXPECT_EQ(shown["progress"], std::to_string(bar->value()) + "/4096");
    EXPECT_EQ(shown["write"], "disabled " + centreOf(w.get<QPushButton>("write")));
    EXPECT_EQ(shown["exit"], centreOf(w.get<QPushButton>("exit")));
    const QRect frame = w.window.frameGeometry();
    EXPECT_EQ(shown["geometry"],
              QString::asprintf("%d %d %d %d", frame.x(), frame.y(), frame.width(), frame.height()).toStdString());
    EXPECT_EQ(shown["status"], "");
    // A move is caught on the next tick.
    w.window.move(frame.topLeft() + QPoint(40, 30));
    w.driver.tick();
    EXPECT_EQ(probe.read()["exit"], centreOf(w.get<QPushButton>("exit")));
    EXPECT_NE(probe.read()["exit"], shown["exit"]);
    hold.release();

    // The question, named in the probe while it is open.
    std::string boxWhileOpen;
    QTimer answerer;
    answerer.setInterval(0);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        boxWhileOpen = probe.read()["box"];
        box->button(QMessageBox::Yes)->click();
    });
    answerer.start();
    for (int i = 0; i < 2000 && w.exitCodes.empty(); ++i) {
        while (w.threadRunner.exists() && !w.threadRunner.ended()) std::this_thread::yield();
        w.ticks(1);
    }
    EXPECT_EQ(w.exitCodes, std::vector<int>{0});
    EXPECT_EQ(boxWhileOpen, "Confirm: Apply this update?");
    shown = probe.read();
    EXPECT_EQ(shown["done"], "1");
    EXPECT_EQ(shown["box"], "");
    EXPECT_EQ(shown["progress"], std::to_string(bar->value()) + "/4096");
    EXPECT_TRUE(flashHolds(dev->flashBytes(), img));
}

// A failed write leaves its text in the probe; the updating window names its phase and dialog.
TEST(WriterWindowProbe, FailureTextAndTheUpdatingWindow) {
    ProbeEnvironment probe;
    {
        WindowBench w;
        auto dev = w.bench.add(f09Spec());
        dev->blockStatus = [](int) { return std::optional<std::uint8_t>(0x0E); };
        writeHexFile(w.bench.dir + "/_tmp.hex", makeImage(0x1000, 3));
        ASSERT_TRUE(w.start({"_tmp.hex", "-f1"}));
        w.ticks(200);
        auto shown = probe.read();
        ASSERT_FALSE(w.text("statusText").isEmpty());
        EXPECT_EQ(shown["status"], w.text("statusText").toStdString());
        EXPECT_EQ(shown["done"], "0") << "a failed job leaves the window open";
        EXPECT_EQ(shown["write"].substr(0, 8), "enabled ");
    }
    WriterWindow updating(Layout::Updating);
    updating.showPhase(3, "Programming ...",
                       "Firmware update takes several minutes.\r\nDuring updating, you should "
                       "NOT shut down or restart PC.");
    auto shown = probe.read();
    EXPECT_EQ(shown["dialog"], "105");
    EXPECT_EQ(shown["title"], "Multi-touch Device Firmware Update Utility   Ver.3.00");
    EXPECT_EQ(shown["phase"], "Programming ...");
    EXPECT_EQ(shown.count("write"), 0u) << "the updating window has no WRITE";
}

}  // namespace
}  // namespace romwrite
