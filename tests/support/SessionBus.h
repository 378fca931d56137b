#pragma once

// A D-Bus session bus of the test's own. The daemon runs under `timeout`, so a
// test killed half-way leaves nothing running for long.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QString>

#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

namespace tamsel::testing {

// The longest any daemon of a test may live.
inline const std::string daemonLifetime = "300";

class SessionBus {
public:
    SessionBus() {
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
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Empty when the daemon did not come up.
    const QString& address() const { return address_; }
    const TemporaryFolder& folder() const { return folder_; }

    // A connection of its own under `name` (each user of the bus takes one).
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    TemporaryFolder folder_;
    std::unique_ptr<ChildProcess> daemon_;
    QString address_;
};

} // namespace tamsel::testing
