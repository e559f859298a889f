#include "station/window/qt/window_probe.h"

#include <QBrush>
#include <QColor>
#include <QStringList>

#include "station/checks/qt/drawing_window.h"
#include "station/checks/qt/home_key_window.h"
#include "station/checks/qt/tkp_window.h"
#include "station/window/qt/result_list_model.h"
#include "station/window/qt/station_window.h"
#include "station/window/qt/status_panel.h"

namespace station {
namespace {

// A check window's "PHASE WIDTHxHEIGHT", or "closed".
template <typename Window>
std::string checkWindowState(const Window* w) {
    if (w == nullptr || w->check() == nullptr) return "closed";
    return std::to_string(w->check()->phase()) + " " + std::to_string(w->width()) + "x" + std::to_string(w->height());
}

std::string centre(const QWidget& widget) {
    const QPoint c = widget.mapToGlobal(widget.rect().center());
    return std::to_string(c.x()) + " " + std::to_string(c.y());
}

// A foreground role's value as a colour (models give a QColor or a QBrush); invalid otherwise.
QColor colourOf(const QVariant& value) {
    if (value.typeId() == QMetaType::QColor) return value.value<QColor>();
    if (value.typeId() == QMetaType::QBrush) return value.value<QBrush>().color();
    return {};
}

}  // namespace

void writeStationWindowProbe(platform::ProbeFile& probe, const StationWindow& window) {
    const StationWindow::Controls& c = window.controls();
    if (c.panel == nullptr) return;  // not attached yet
    const QRect frame = window.frameGeometry();
    probe.set("title", window.windowTitle().toStdString());
    probe.set("geometry", std::to_string(frame.x()) + " " + std::to_string(frame.y()) + " " +
                              std::to_string(frame.width()) + " " + std::to_string(frame.height()));
    probe.set("panel", c.panel->shownText().toStdString());
    probe.set("lamp", QColor::fromRgba(c.panel->shownLampText()).name(QColor::HexArgb).toStdString());
    probe.set("start",
              c.start->text().toStdString() + (c.start->isEnabled() ? " enabled " : " disabled ") + centre(*c.start));
    probe.set("clear", centre(*c.clear));
    probe.set("counts",
              c.total->text().toStdString() + " " + c.ok->text().toStdString() + " " + c.ng->text().toStdString());

    const int rows = c.model->rowCount();
    probe.set("rows", std::to_string(rows));
    std::string row;
    std::string colour;
    if (rows > 0) {
        QStringList cells;
        for (int col = 0; col < c.model->columnCount(); ++col)
            cells << c.model->data(c.model->index(rows - 1, col), Qt::DisplayRole).toString();
        row = cells.join(QLatin1Char('\t')).toStdString();
        const QColor result = colourOf(c.model->data(c.model->index(rows - 1, 2), Qt::ForegroundRole));
        if (result.isValid()) colour = result.name(QColor::HexRgb).toStdString();
    }
    probe.set("row", row);
    probe.set("result_colour", colour);
    probe.set("prompt", c.panes[0]->text().toStdString());
    probe.set("connection", c.panes[1]->text().toStdString());
    probe.set("serial", c.serial->text().toStdString());
    probe.set("serial_mode", c.serial->isReadOnly() ? "ro" : "rw");
    // The drawing check's window: "STEP PHASE WIDTHxHEIGHT" and its verdict on the step
    // ("ok"/"ng" once judged), or "closed".
    std::string drawing = "closed";
    if (const checks::DrawingWindow* w = window.drawingWindow(); w != nullptr && w->check() != nullptr) {
        const checks::DrawingCheck& d = *w->check();
        drawing = std::to_string(d.step()) + " " + std::to_string(d.phase()) + " " + std::to_string(w->width()) + "x" +
                  std::to_string(w->height());
        if (d.phase() == checks::PhaseJudged && d.step() < checks::DRAW_DONE)
            drawing += d.stepPassed(d.step()) ? " ok" : " ng";
    }
    probe.set("drawing", drawing);
    probe.set("tkp", checkWindowState(window.tkpWindow()));
    probe.set("homekey", checkWindowState(window.homeKeyWindow()));
    probe.flush();
}

}  // namespace station
