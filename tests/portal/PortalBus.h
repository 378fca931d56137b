#pragma once

// A D-Bus session bus of the test's own, and the real xdg-desktop-portal on
// it with our fake desktop behind it. Every daemon runs under `timeout`, so a
// test killed half-way leaves nothing running for long.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

namespace tamsel::testing {

// The longest any daemon of a test may live.
inline const std::string daemonLifetime = "300";

class PortalBus {
public:
    PortalBus() {
        const auto socket = folder_ / "bus";
        const std::string config = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" + socket.string() + R"(</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
        folder_.write("bus.conf", config);
        // posix_spawn rather than QProcess: ThreadSanitizer cannot follow
        // QProcess's own way of forking.
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"timeout", daemonLifetime, "dbus-daemon", "--nofork",
                                     "--config-file=" + (folder_ / "bus.conf").string()},
            std::map<std::string, std::string>{}, (folder_ / "bus.log").string());
        if (waitUntil([&] { return std::filesystem::exists(socket); }, std::chrono::seconds(10))) {
            address_ = QStringLiteral("unix:path=") + QString::fromStdString(socket.string());
        }
    }
    PortalBus(const PortalBus&) = delete;
    PortalBus& operator=(const PortalBus&) = delete;

    const QString& address() const { return address_; }
    const TemporaryFolder& folder() const { return folder_; }

    // A connection of its own under `name` (each user of the bus takes one).
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }

    // Starts Debian's portal frontend, which finds our desktop through a
    // .portal file in the test's folder; true once it owns its name.
    bool startPortal(const QString& backendName, const QString& interfaces) {
        folder_.write("portals/tamseltest.portal",
                      "[portal]\nDBusName=" + backendName.toStdString() + "\nInterfaces=" +
                          interfaces.toStdString() + "\nUseIn=tamseltest\n");
        // Its complaints about what a test bus lacks (RealtimeKit, the
        // permission store) go to a file of the test's own.
        portal_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"timeout", daemonLifetime, "/usr/libexec/xdg-desktop-portal",
                                     "--replace"},
            std::map<std::string, std::string>{
                {"DBUS_SESSION_BUS_ADDRESS", address_.toStdString()},
                {"XDG_DESKTOP_PORTAL_DIR", (folder_ / "portals").string()},
                {"XDG_CURRENT_DESKTOP", "tamseltest"},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""}},
            (folder_ / "portal.log").string());
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
    TemporaryFolder folder_;
    // The portal goes before the bus it is on.
    std::unique_ptr<ChildProcess> daemon_;
    std::unique_ptr<ChildProcess> portal_;
    QString address_;
};

} // namespace tamsel::testing
