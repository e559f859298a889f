// The raw data viewer's window: its controls follow the logic, frames from the reader thread
// reach the map through the event loop, the keys reach the logic before the controls, and the
// map paints each cell in its colour with the tooltip of the cell under the pointer.
#include "station/viewers/qt/raw_viewer_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "station/viewers/logic/tests/fake_viewer_device.h"
#include "station/viewers/qt/frame_poster.h"
#include "station/viewers/qt/raw_viewer_areas.h"
#include "station/viewers/qt/tests/viewer_bench.h"
#include "station/viewers/qt/viewer_controls.h"

namespace {

using station::viewers::RawView;
using station::viewers::RawViewerSetup;
using station::viewers::RawViewerWindow;

struct FakeBench {
    explicit FakeBench(bool margins, std::string dumpFolder = ".",
                       std::function<void(std::string_view)> appendMessage = {}) {
        window = std::make_unique<RawViewerWindow>(RawViewerSetup{.device = device,
                                                                  .lastRaw = last->rawAverage,
                                                                  .lastDiff = last->maps.rawDiff,
                                                                  .upperMap = last->maps.upperMap,
                                                                  .lowerMap = last->maps.lowerMap,
                                                                  .recipe = *recipe,
                                                                  .marginsAvailable = margins,
                                                                  .clock = clock,
                                                                  .ticks = ticks,
                                                                  .tableAccess = {},
                                                                  .dumpFolder = std::move(dumpFolder),
                                                                  .appendMessage = std::move(appendMessage)});
        window->show();
    }
    const RawViewerWindow::Controls& c() const { return window->controls(); }
    QString status() const { return c().status->currentMessage(); }

    testfx::FakeViewerDevice device;
    platform::VirtualClock clock;
    platform::VirtualTickCounter ticks;
    std::unique_ptr<testfx::ViewerBench::Last> last = std::make_unique<testfx::ViewerBench::Last>();
    std::unique_ptr<station::RecipeSettings> recipe = std::make_unique<station::RecipeSettings>();
    std::unique_ptr<RawViewerWindow> window;
};

TEST(RawViewerWindow, ControlsFollowTheViewersStateFromOpeningToStreaming) {
    FakeBench b(false);
    const auto& c = b.c();
    EXPECT_EQ(b.window->windowTitle(), "Raw Data Viewer");
    EXPECT_TRUE(c.start->isEnabled());
    EXPECT_FALSE(c.stop->isEnabled());
    EXPECT_EQ(c.frameRate->text(), "0");
    EXPECT_EQ(c.statisticsLabel->text(), "[1.Raw]");
    EXPECT_EQ(c.statistics->text(), "< Current >\nmin = 0\nmax = 0\n< Total >\nmin = 0\nmax = 0");
    EXPECT_EQ(c.minLabel->text(), "min (0)") << "auto range on at opening";
    for (const RawView v :
         {RawView::Average, RawView::Sigma, RawView::Diff, RawView::Upper, RawView::Lower, RawView::Error})
        EXPECT_FALSE(c.views[static_cast<std::size_t>(v)]->isEnabled()) << static_cast<int>(v);

    b.device.refuseSelect = true;
    QTest::mouseClick(c.start, Qt::LeftButton);
    EXPECT_EQ(b.status(), "Error: Set Format error.");
    b.device.refuseSelect = false;
    QTest::mouseClick(c.start, Qt::LeftButton);
    EXPECT_EQ(b.status(), "Success: start Thread.");
    EXPECT_FALSE(c.start->isEnabled());
    EXPECT_TRUE(c.stop->isEnabled());
    EXPECT_TRUE(c.views[static_cast<std::size_t>(RawView::Average)]->isEnabled());
    EXPECT_TRUE(c.views[static_cast<std::size_t>(RawView::Sigma)]->isEnabled());
    EXPECT_FALSE(c.views[static_cast<std::size_t>(RawView::Diff)]->isEnabled()) << "no recipe: stays off";

    // The label's one up/down control cycles over the first four views; up counts upwards.
    QTest::mouseClick(c.labelStep, Qt::LeftButton, {}, c.labelStep->arrowCentre(false));
    EXPECT_EQ(c.statisticsLabel->text(), "[4.Diff]");
    QTest::mouseClick(c.labelStep, Qt::LeftButton, {}, c.labelStep->arrowCentre(true));
    EXPECT_EQ(c.statisticsLabel->text(), "[1.Raw]");
    QTest::mouseClick(c.labelStep, Qt::LeftButton, {}, c.labelStep->arrowCentre(true));
    EXPECT_EQ(c.statisticsLabel->text(), "[2.Average]");

    QTest::mouseClick(c.stop, Qt::LeftButton);
    EXPECT_TRUE(c.start->isEnabled());
    EXPECT_EQ(b.device.calls.back(), "stopFrameReader");
}

TEST(RawViewerWindow, KeysReachTheViewerBeforeTheFocusedControl) {
    FakeBench b(true);
    const auto& c = b.c();
    QApplication::setActiveWindow(b.window.get());
    c.start->setFocus();
    QTest::keyClick(c.start, Qt::Key_S);
    EXPECT_TRUE(b.device.running) << "S starts";
    EXPECT_FALSE(c.start->isEnabled());
    QTest::keyClick(b.window.get(), Qt::Key_S);
    EXPECT_FALSE(b.device.running) << "S again stops";
    QTest::keyClick(b.window.get(), Qt::Key_E);
    EXPECT_TRUE(b.window->viewer().errorCross());
    QTest::keyClick(b.window.get(), Qt::Key_T);
    EXPECT_FALSE(b.window->viewer().tooltipRelay());

    // The range fields: typed digits stay in the field, Enter paints with the new range.
    c.autoRange->setChecked(false);
    EXPECT_EQ(c.minLabel->text(), "min");
    c.rangeMin->setFocus();
    c.rangeMin->clear();
    QTest::keyClicks(c.rangeMin, "-250");
    EXPECT_EQ(b.window->viewer().manualMin(), -1000) << "not before Enter";
    QTest::keyClick(c.rangeMin, Qt::Key_Return);
    EXPECT_EQ(c.rangeMin->text(), "-250");
    EXPECT_EQ(b.window->viewer().manualMin(), -250);
    EXPECT_TRUE(b.window->isVisible()) << "Enter in a range field does not close the window";

    QTest::keyClick(b.window.get(), Qt::Key_R);
    EXPECT_FALSE(b.window->viewer().hasData()) << "R clears";
    EXPECT_EQ(c.statistics->text(), "");
}

// Space in the window, whatever control has the focus, writes the selected view's dump (the
// last check's data counts) and says so; after R there is nothing to dump.
TEST(RawViewerWindow, SpaceWritesTheDumpInsteadOfPressingTheFocusedButton) {
    const auto folder = std::filesystem::temp_directory_path() / "vorlick_window_space";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    FakeBench b(true, folder.string());
    QApplication::setActiveWindow(b.window.get());
    b.c().start->setFocus();
    QTest::keyClick(b.c().start, Qt::Key_Space);
    EXPECT_FALSE(b.device.running) << "Space is the viewer's, not START's";
    const std::string name = station::viewers::RawViewer::dumpFileName(b.clock.timeOfDay());
    EXPECT_EQ(b.status().toStdString(), "Success to dump file. '" + name + "'");
    std::ifstream in(folder / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().substr(0, 8), "#Raw\r\n0,") << "CR LF lines, the raw view";

    std::filesystem::remove(folder / name);
    QTest::keyClick(b.window.get(), Qt::Key_R);
    QTest::keyClick(b.window.get(), Qt::Key_Space);
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "nothing to dump after a clear";
    std::filesystem::remove_all(folder);
}

// "RELOAD CSV" with a table file gone: the status bar names it and the station's message list
// gets it, as after a recipe load.
TEST(RawViewerWindow, ReloadTellsTheTableFilesThatDidNotLoad) {
    std::vector<std::string> messages;
    FakeBench b(true, ".", [&messages](std::string_view m) { messages.emplace_back(m); });
    b.recipe->REFERENCE_CSV = "/nonexistent/ref.csv";
    b.recipe->THRESHOLD_CSV = "/nonexistent/thr.csv";
    QTest::mouseClick(b.c().reload, Qt::LeftButton);
    EXPECT_EQ(b.status(), "Failed to open csv '/nonexistent/ref.csv'  Failed to open csv '/nonexistent/thr.csv'");
    EXPECT_EQ(messages, (std::vector<std::string>{"Failed to open csv '/nonexistent/ref.csv'",
                                                  "Failed to open csv '/nonexistent/thr.csv'"}));
    EXPECT_FALSE(b.window->viewer().hasData()) << "then CLEAR";
}

// A uniform frame of 0 with the range -1000..1000 paints every cell at the middle of the scale:
// green, 205 of 255 opaque over the map's white.
TEST(RawViewerWindow, PaintsStreamedFramesAndTellsTheCellUnderThePointer) {
    testfx::ViewerBench b("r6-healthy.scenario");
    ASSERT_TRUE(b.connect());
    RawViewerWindow window(RawViewerSetup{.device = b.port,
                                          .lastRaw = b.last->rawAverage,
                                          .lastDiff = b.last->maps.rawDiff,
                                          .upperMap = b.last->maps.upperMap,
                                          .lowerMap = b.last->maps.lowerMap,
                                          .recipe = *b.recipe,
                                          .marginsAvailable = false,
                                          .clock = b.clock,
                                          .ticks = b.ticks,
                                          .tableAccess = {},
                                          .dumpFolder = ".",
                                          .appendMessage = {}});
    window.show();
    const auto& c = window.controls();
    QTest::mouseClick(c.start, Qt::LeftButton);
    ASSERT_EQ(c.status->currentMessage(), "Success: start Thread.");
    QTRY_VERIFY_WITH_TIMEOUT(window.framesHandled() >= 3, 20000);
    EXPECT_EQ(c.status->currentMessage(), "Success: start Thread.") << "every frame arrived whole";
    EXPECT_NE(c.statistics->text(), "");
    QTest::mouseClick(c.stop, Qt::LeftButton);
    EXPECT_FALSE(b.touch.frameReaderRunning());

    // The pointer over cell (tx 2, rx 5) of the map.
    const station::viewers::MapGeometry g = c.map->geometryNow();
    const QPoint at(static_cast<int>(g.cellLeft(5) + g.cellWidth / 2),
                    static_cast<int>(g.cellTop(2) + g.cellHeight / 2));
    window.pointerMoved(*c.map, at, c.map->mapToGlobal(at));
    const double raw = window.viewer().table(RawView::Raw)[2][5];
    EXPECT_TRUE(window.lastTooltip().startsWith(QStringLiteral("(5,2)\n[Data]  %1\n").arg(raw, 0, 'f', 2)))
        << window.lastTooltip().toStdString();
    window.pointerMoved(*c.map, QPoint(c.map->width() + 5, 1), {});
    EXPECT_EQ(window.lastTooltip(), "") << "off the map";

    // Cell colours: a uniform 0 in the manual range -1000..1000.
    auto frame = std::make_unique<controllerlink::ImageFrame>();
    window.viewer().clear();
    window.viewer().handleFrame(0, *frame);
    c.autoRange->setChecked(false);
    const QImage picture = c.map->grab().toImage();
    const QColor cell = picture.pixelColor(at);
    EXPECT_NEAR(cell.red(), 50, 2);
    EXPECT_EQ(cell.green(), 255);
    EXPECT_NEAR(cell.blue(), 50, 2);
}

// The window's thread busy for about a second (a loaded station PC) while the reader goes on:
// every frame that piled up meanwhile is handled once the thread is back, none dropped.
TEST(RawViewerWindow, FramesPiledUpWhileTheWindowIsBusyAreAllHandled) {
    FakeBench b(false);
    QTest::mouseClick(b.c().start, Qt::LeftButton);
    ASSERT_NE(b.device.sink, nullptr);
    auto frame = std::make_unique<controllerlink::ImageFrame>();
    for (std::int32_t n = 1; n <= 110; ++n) {
        frame->cells[0][0] = n;
        b.device.sink->onImageFrame(0, *frame);
    }
    QTRY_VERIFY_WITH_TIMEOUT(b.window->framesHandled() + b.window->framesDropped() >= 110, 5000);
    EXPECT_EQ(b.window->framesHandled(), 110u);
    EXPECT_EQ(b.window->framesDropped(), 0u);
    EXPECT_EQ(b.window->viewer().table(RawView::Raw)[0][0], 110) << "the last one shown";
}

// Frames posted from another thread reach the window's thread in order, one wake-up for many.
TEST(FramePoster, CarriesFramesFromAnotherThreadInOrder) {
    QObject receiver;
    int wakes = 0;
    std::vector<std::int32_t> seen;
    station::viewers::FramePoster* self = nullptr;
    auto frame = std::make_unique<controllerlink::ImageFrame>();
    station::viewers::FramePoster poster(receiver, [&] {
        ++wakes;
        std::uint32_t status = 0;
        while (self->take(*frame, status)) seen.push_back(frame->cells[0][0]);
    });
    self = &poster;
    std::thread reader([&poster] {
        auto f = std::make_unique<controllerlink::ImageFrame>();
        for (std::int32_t n = 1; n <= 10; ++n) {
            f->cells[0][0] = n;
            poster.onImageFrame(0, *f);
        }
    });
    reader.join();
    QTRY_COMPARE(seen.size(), std::size_t{10});
    EXPECT_EQ(seen.front(), 1);
    EXPECT_EQ(seen.back(), 10);
    EXPECT_EQ(wakes, 1) << "the reader posted once while the window was busy";
    EXPECT_EQ(poster.dropped(), 0u);
}

}  // namespace
