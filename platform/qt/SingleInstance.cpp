#include "platform/qt/SingleInstance.h"

#include <unistd.h>

#include <QLocalSocket>

namespace tamsel {

namespace {
constexpr char showCommand[] = "show\n";
}

QString SingleInstance::serverName(const QString& display) {
    QString safe;
    for (QChar c : display) {
        safe += c.isLetterOrNumber() ? c : QChar('_');
    }
    return QStringLiteral("tamsel-%1-%2").arg(::getuid()).arg(safe);
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == showCommand) {
                        emit showRequested();
                    }
                }
            });
        }
    });
}

bool SingleInstance::notifyRunning(int timeoutMS) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMS)) {
        return false;
    }
    socket.write(showCommand);
    const bool sent = socket.waitForBytesWritten(timeoutMS);
    socket.disconnectFromServer();
    return sent;
}

bool SingleInstance::listen() {
    // Only the owner may connect: the socket carries commands.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(name_)) {
        return true;
    }
    QLocalServer::removeServer(name_);
    return server_.listen(name_);
}

} // namespace tamsel
