#include "romwrite/window/tick_driver.h"

#include "romwrite/window/writer_window.h"
#include "romwrite/writer/writer_app.h"

namespace romwrite {

TickDriver::TickDriver(WriterApp& app, WriterWindow& window, std::function<void(int)> finished)
    : app_(app), window_(window), finished_(std::move(finished)) {
    timer_.setInterval(kTickMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TickDriver::tick);
}

void TickDriver::start() { timer_.start(); }

void TickDriver::tick() {
    if (ended_) return;
    // EXIT and an accepted close end the logic between ticks, a job's end within one.
    if (!app_.finished()) app_.tick();
    window_.refreshProbe();
    if (!app_.finished()) return;
    ended_ = true;
    timer_.stop();
    window_.hide();
    if (finished_) finished_(app_.exitCode());
}

}  // namespace romwrite
