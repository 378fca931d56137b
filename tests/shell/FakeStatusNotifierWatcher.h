#pragma once

// What a panel's StatusNotifier watcher offers: items register with it, and
// it says a host (the panel) is there to show them. Kept apart from Xlib's
// headers, whose macros the meta-object code cannot live beside.

#include <QDBusMessage>
#include <QObject>
#include <QStringList>

namespace tamsel::testing {

class FakeStatusNotifierWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    // Each as "bus-name/object/path".
    QStringList items() const { return items_; }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message);
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QStringList items_;
};

} // namespace tamsel::testing
