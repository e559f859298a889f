#include "station/window/qt/raise_channel.h"

#include <QLocalSocket>

namespace station {
QString raiseSocketPath(const QString& lockDirectory) { return lockDirectory + QStringLiteral("/VorlickR6X.raise"); }

RaiseServer::RaiseServer(std::function<void()> raise, QObject* parent) : QObject(parent), raise_(std::move(raise)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &RaiseServer::takeConnections);
}

bool RaiseServer::listen(const QString& path, QString& error) {
    QLocalServer::removeServer(path);
    if (server_.listen(path)) return true;
    error = server_.errorString();
    return false;
}

void RaiseServer::takeConnections() {
    bool any = false;
    while (QLocalSocket* peer = server_.nextPendingConnection()) {
        any = true;
        peer->disconnectFromServer();
        peer->deleteLater();
    }
    if (any && raise_) raise_();
}

bool askRunningWindowToRaise(const QString& path, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs)) return false;
    // The connection is the request: nothing is written, nothing read.
    socket.disconnectFromServer();
    return true;
}

}  // namespace station
