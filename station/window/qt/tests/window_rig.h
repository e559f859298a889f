#pragma once
// The station window on the in-process virtual controller: the station wired to the window as
// the program wires it, with scripted automatic steps and a recording log port, on a virtual
// clock. Ticks are the window's own tick, with the clock moved on by 100 ms each.
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "station/sequence/tests/run_control_rig.h"
#include "station/window/qt/result_list_model.h"
#include "station/window/qt/station_window.h"
#include "station/window/qt/status_panel.h"

namespace station::test {

struct WindowRig {
    explicit WindowRig(sim::ControllerConfig config = quietController())
        : device(std::make_shared<sim::ControllerDevice>(std::move(config))) {
        deviceId = bus.addDevice(device);
        station.automatic = &checks;
        station.logs = &logs;
        station.programVersionText = "1.25.4";
        window.attach(station, control);
        window.show();
        window.activateWindow();
        // The keys go to the focused control of the active window, as on a desktop.
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void startWith(const std::string& recipe) {
        control.setRecipeTrace({});
        control.startUp(kExampleFolder, recipe);
        ASSERT_TRUE(station.recipe.recipeLoaded);
    }
    void tick() {
        clock.advance(StationWindow::kTickMs);
        window.tick();
    }
    const StationWindow::Controls& c() const { return window.controls(); }
    // Paints what is pending, so the panel's shown word is the station's latest.
    void paint() {
        c().panel->repaint();
        QCoreApplication::processEvents();
    }
    QString cell(int row, int column) const {
        return c().model->data(c().model->index(row, column), Qt::DisplayRole).toString();
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    std::shared_ptr<sim::ControllerDevice> device;
    int deviceId = 0;
    hidlink::DeviceTable table{backend};
    StationWindow window;
    Station station{table, clock, window};
    ScriptedChecks checks;
    RecordingLogs logs;
    RunControl control{station};
};

// Acts once on the next modal widget of type W that opens (the dialogs run their own loop).
template <class W>
class OnModal {
public:
    explicit OnModal(std::function<void(W&)> act) : act_(std::move(act)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
            if (w == nullptr || !w->isVisible()) return;
            timer_.stop();
            seen = true;
            act_(*w);
        });
        timer_.start();
    }
    bool seen = false;

private:
    std::function<void(W&)> act_;
    QTimer timer_;
};

}  // namespace station::test
