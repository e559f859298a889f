// The station window's painting on the offscreen platform: one status panel repaint at the
// window's size (the painter alone, the widget's repaint, the widget grabbed), one full repaint
// of the result list's viewport over 50000 rows scrolled to the end, and the resident memory
// those rows and the view cost. Each paint is timed on its own; median, min and max are printed.
#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/virtual_bus.h"
#include "station/sequence/station_state.h"
#include "station/sequence/tests/fake_ui_port.h"
#include "station/window/qt/result_list_model.h"
#include "station/window/qt/result_list_view.h"
#include "station/window/qt/status_panel.h"

namespace {

constexpr double kTargetMs = 16.0;

// Resident set size in MiB, from the kernel's own line.
double residentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return -1.0;
}

void timePaints(const char* what, int count, const std::function<void()>& paint) {
    paint();  // warm caches and glyphs
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        paint();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("  %-34s median %8.3f ms   min %8.3f ms   max %8.3f ms   (%d paints, %s 16 ms)\n", what, median,
                ms.front(), ms.back(), count, median < kTargetMs ? "under" : "OVER");
}

// A check's row as the station leaves it: mostly OK, every seventh an NG with a code.
void fillRows(station::Station& s) {
    std::int32_t checkNo = 0;
    while (!s.runs.full()) {
        ++checkNo;
        station::RunRecord row;
        row.checkNo = checkNo;
        row.retryNo = checkNo % 13 == 0 ? 1 : 0;
        row.serialNo = "R6X" + std::to_string(2026120900000LL + checkNo);  // 16 characters: on the heap
        station::initialiseColumns(row, s.recipe);
        const bool ng = checkNo % 7 == 0;
        row.colResult = ng ? "NG" : "OK";
        row.colCode = ng ? "E631" : "    ";
        row.colCom = " OK ";
        row.colShort = ng ? " NG" : " OK";
        s.runs.append(row);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double rssStart = residentMiB();

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    station::FakeUiPort ui;
    auto s = std::make_unique<station::Station>(table, clock, ui);
    const double rssStation = residentMiB();
    s->recipe.recipeLoaded = true;
    s->flags.logOpen = true;
    s->state = station::StationState::Ng;

    const QSize panelSize(600, 120);
    std::printf("status panel %dx%d, word \"NG\" at 50 pt, lamp stepping (platform %s)\n", panelSize.width(),
                panelSize.height(), qPrintable(QGuiApplication::platformName()));
    {
        QImage image(panelSize, QImage::Format_ARGB32_Premultiplied);
        station::TrgLamp lamp;
        timePaints("paintStatusPanel into a QImage", 2000, [&] {
            station::paintStatusPanel(image, station::panelLook(s->recipe, station::panelStateOf(*s)),
                                      lamp.paint(true, false));
        });

        station::StatusPanel panel(*s);
        panel.resize(panelSize);
        timePaints("StatusPanel::grab()", 1000, [&] { (void)panel.grab(); });
        panel.show();
        QApplication::processEvents();
        timePaints("StatusPanel::repaint() (shown)", 1000, [&] { panel.repaint(); });
        s->state = station::StationState::Checking;
        timePaints("  same, \"CHECKING...\" at 22 pt", 1000, [&] { panel.repaint(); });
    }

    QApplication::processEvents();
    const double rssBeforeRows = residentMiB();
    fillRows(*s);
    const double rssRows = residentMiB();

    auto model = std::make_unique<station::ResultListModel>(s->runs);
    auto view = std::make_unique<QTableView>();
    station::setUpResultView(*view, *model);
    view->resize(620, 300);
    view->show();
    model->showRows(s->runs.rowCount());
    QApplication::processEvents();
    view->viewport()->repaint();
    const double rssView = residentMiB();

    const int bottom = view->rowAt(view->viewport()->height() - 1);
    std::printf("result list %d rows, viewport %dx%d, scrolled to the end (last visible row %d, scroll %d/%d)\n",
                model->rowCount(), view->viewport()->width(), view->viewport()->height(), bottom,
                view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    timePaints("viewport repaint()", 500, [&] { view->viewport()->repaint(); });
    timePaints("whole view grab()", 200, [&] { (void)view->grab(); });
    // A check ends with the table one short of full: the row is inserted, laid out, scrolled
    // to and painted. (Untimed between samples: the list drops back to 49999 rows.)
    {
        std::vector<double> ms;
        for (int i = 0; i < 200; ++i) {
            model->showRows(station::RunRecordTable::kRows - 1);
            QApplication::processEvents();
            const auto begin = std::chrono::steady_clock::now();
            model->showRows(station::RunRecordTable::kRows);
            view->viewport()->repaint();
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("  %-34s median %8.3f ms   min %8.3f ms   max %8.3f ms   (%zu rows added)\n",
                    "add row 50000 + scroll + repaint", ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
    }

    std::printf("resident memory (VmRSS)\n");
    std::printf("  %-34s %8.1f MiB\n", "after QApplication", rssStart);
    std::printf("  %-34s %8.1f MiB  (+%.1f)\n", "station (table storage, no rows)", rssStation, rssStation - rssStart);
    std::printf("  %-34s %8.1f MiB\n", "after the panel benches", rssBeforeRows);
    std::printf("  %-34s %8.1f MiB  (+%.1f)\n", "50000 rows filled", rssRows, rssRows - rssBeforeRows);
    std::printf("  %-34s %8.1f MiB  (+%.1f)\n", "model + view shown at the end", rssView, rssView - rssRows);
    return bottom == model->rowCount() - 1 ? 0 : 1;
}
