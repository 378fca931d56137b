#pragma once

// One Tamsel per user and display. A second start finds the first one's
// local socket, asks it to open its popover and leaves; that is also how the
// popover opens on desktops without a tray.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace tamsel {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // For this user and the display in `display` (the DISPLAY variable).
    static QString serverName(const QString& display);

    explicit SingleInstance(QString name, QObject* parent = nullptr);

    // True when an instance answered and was asked to show itself.
    bool notifyRunning(int timeoutMS = 1000);
    // Takes the name over (a server left behind by a crash is removed).
    bool listen();

signals:
    void showRequested();

private:
    QString name_;
    QLocalServer server_;
};

} // namespace tamsel
