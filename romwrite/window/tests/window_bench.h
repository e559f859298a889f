#pragma once
// The writer logic painted into its window on a bench: scripted bootloader, inline worker, and
// the window's tick driver ticked by hand on the bench's clock.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "romwrite/testing/bench.h"
#include "romwrite/testing/fake_writer_port.h"
#include "romwrite/testing/hex_file.h"
#include "romwrite/testing/images.h"
#include "romwrite/testing/writer_bench.h"
#include "romwrite/window/tick_driver.h"
#include "romwrite/window/writer_window.h"
#include "romwrite/writer/writer_app.h"

namespace romwrite::testing {

struct WindowBench {
    explicit WindowBench(WriterWindow::Layout layout = WriterWindow::Layout::Writer,
                         std::span<const std::uint8_t> resource = {}, bool threaded = false)
        : bench("window"),
          window(layout),
          app(WriterServices{window, bench.link, device, bench.log,
                             threaded ? static_cast<JobRunner&>(threadRunner) : static_cast<JobRunner&>(runner),
                             stayAwake, power, restarter, &confirmation, resource, bench.dir, false}),
          driver(app, window, [this](int code) { exitCodes.push_back(code); }) {
        window.attach(app);
    }

    bool start(std::vector<std::string> tokens) { return app.start(CommandLine{std::move(tokens)}, true); }
    void ticks(int n) {
        for (int i = 0; i < n && exitCodes.empty(); ++i) {
            driver.tick();
            bench.clock.sleepMs(kTickMs);
        }
    }

    template <class W>
    W* get(const char* name) {
        return window.findChild<W*>(name);
    }
    QString text(const char* name) {
        if (auto* e = get<QLineEdit>(name)) return e->text();
        if (auto* l = get<QLabel>(name)) return l->text();
        return "<none>";
    }
    void press(const char* name) { get<QPushButton>(name)->click(); }

    Bench bench;
    FakePower power;
    FakeStayAwake stayAwake;
    FakeRestarter restarter;
    FakeConfirmation confirmation;
    InlineJobRunner runner;
    ThreadJobRunner threadRunner;
    UblDevice device;
    WriterWindow window;
    WriterApp app;
    TickDriver driver;
    std::vector<int> exitCodes;
};

// Answers the next modal message box with `answer` once it is open, noting its caption and
// text.
struct BoxAnswerer {
    explicit BoxAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            seen.push_back(box->windowTitle().toStdString() + ": " + box->text().toStdString());
            icons.push_back(box->icon());
            box->button(answer_)->click();
        });
        timer_.start();
    }
    std::vector<std::string> seen;
    std::vector<QMessageBox::Icon> icons;

private:
    QMessageBox::StandardButton answer_;
    QTimer timer_;
};

}  // namespace romwrite::testing
