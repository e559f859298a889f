#pragma once
// Drives the writer logic's 20 ms tick from a Qt timer and ends the run when the logic has
// finished: the window goes away and `finished` receives the exit code.
#include <QObject>
#include <QTimer>
#include <functional>

namespace romwrite {

class WriterApp;
class WriterWindow;

class TickDriver final : public QObject {
public:
    TickDriver(WriterApp& app, WriterWindow& window, std::function<void(int)> finished);

    void start();
    // One tick, as the timer gives it; tests call it directly.
    void tick();
    bool running() const { return timer_.isActive(); }

private:
    WriterApp& app_;
    WriterWindow& window_;
    std::function<void(int)> finished_;
    QTimer timer_;
    bool ended_ = false;
};

}  // namespace romwrite
