#pragma once

// A D-Bus session bus of the test's own, and the real xdg-desktop-portal on
// it with our fake desktop behind it. Every daemon runs under `timeout`, so a
// test killed half-way leaves nothing running for long.

#include <chrono>
#include <string>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include "tests/support/TemporaryFolder.h"

namespace tamsel::testing {

// The longest any daemon of a test may live.
inline constexpr char daemonLifetime[] = "300";

class PortalBus {
public:
    PortalBus() {
        const std::string config =
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
            (folder_ / "bus").string() + R"(</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
        folder_.write("bus.conf", config);
        daemon_.setProcessChannelMode(QProcess::SeparateChannels);
        daemon_.start(QStringLiteral("timeout"),
                      {QLatin1String(daemonLifetime), QStringLiteral("dbus-daemon"),
                       QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                       QStringLiteral("--config-file=") +
                           QString::fromStdString((folder_ / "bus.conf").string())});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) {
            return;
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PortalBus() {
        stop(portal_);
        stop(daemon_);
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
                      "[portal]\nDBusName=" + backendName.toStdString() +
                          "\nInterfaces=" + interfaces.toStdString() + "\nUseIn=tamseltest\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        environment.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"),
                           QString::fromStdString((folder_ / "portals").string()));
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("tamseltest"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        portal_.setProcessEnvironment(environment);
        // Its complaints about what a test bus lacks (RealtimeKit, the
        // permission store) go to a file of the test's own.
        portal_.setStandardErrorFile(QString::fromStdString((folder_ / "portal.log").string()));
        portal_.setStandardOutputFile(QProcess::nullDevice());
        portal_.start(QStringLiteral("timeout"), {QLatin1String(daemonLifetime),
                                                  QStringLiteral("/usr/libexec/xdg-desktop-portal"),
                                                  QStringLiteral("--replace")});
        if (!portal_.waitForStarted(5000)) {
            return false;
        }
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
    static void stop(QProcess& process) {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(3000)) {
                process.kill();
                process.waitForFinished(3000);
            }
        }
    }

    TemporaryFolder folder_;
    QProcess daemon_;
    QProcess portal_;
    QString address_;
};

} // namespace tamsel::testing
