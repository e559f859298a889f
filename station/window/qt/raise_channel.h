#pragma once
// A second start of the station brings the running window to the front: the first window
// listens on a local socket beside its instance lock; the second connects and leaves.
#include <QLocalServer>
#include <QString>
#include <functional>

namespace station {

// "<lock folder>/VorlickR6X.raise".
QString raiseSocketPath(const QString& lockDirectory);

class RaiseServer final : public QObject {
    Q_OBJECT
public:
    RaiseServer(std::function<void()> raise, QObject* parent = nullptr);

    // Call only while holding the instance lock: a socket left by a station that died is
    // removed first. False with a reason when it cannot listen.
    bool listen(const QString& path, QString& error);

private:
    void takeConnections();

    std::function<void()> raise_;
    QLocalServer server_;
};

// Asks the window listening at `path` to come to the front; false when nothing answered.
bool askRunningWindowToRaise(const QString& path, int timeoutMs = 2000);

}  // namespace station
