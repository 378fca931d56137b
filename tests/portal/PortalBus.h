#pragma once

// A D-Bus session bus of the test's own, and the real xdg-desktop-portal on
// it with our fake desktop behind it, under `timeout` like the bus.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include "tests/support/SessionBus.h"

namespace tamsel::testing {

class PortalBus : public SessionBus {
public:
    // Starts Debian's portal frontend, which finds our desktop through a
    // .portal file in the test's folder; true once it owns its name.
    bool startPortal(const QString& backendName, const QString& interfaces) {
        folder().write("portals/tamseltest.portal",
                       "[portal]\nDBusName=" + backendName.toStdString() +
                           "\nInterfaces=" + interfaces.toStdString() + "\nUseIn=tamseltest\n");
        // Its complaints about what a test bus lacks (RealtimeKit, the
        // permission store) go to a file of the test's own.
        portal_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"timeout", daemonLifetime, "/usr/libexec/xdg-desktop-portal",
                                     "--replace"},
            std::map<std::string, std::string>{
                {"DBUS_SESSION_BUS_ADDRESS", address().toStdString()},
                {"XDG_DESKTOP_PORTAL_DIR", (folder() / "portals").string()},
                {"XDG_CURRENT_DESKTOP", "tamseltest"},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""}},
            (folder() / "portal.log").string());
        QDBusConnection watcher = connect(QStringLiteral("tamsel-test-watcher"));
        const bool owned = QTest::qWaitFor(
            [&] {
                return watcher.interface()
                    ->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop"))
                    .value();
            },
            10000);
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-test-watcher"));
        return owned;
    }

private:
    // Ends before the bus it is on: a member of the derived class.
    std::unique_ptr<ChildProcess> portal_;
};

} // namespace tamsel::testing
