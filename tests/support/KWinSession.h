#pragma once

// A headless KWin the tests start themselves on a D-Bus session bus of the
// test's own: a virtual screen, software painting, no lock screen, no X.
// Wayland clients of the test connect to it through its socket.

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

#include "tests/support/SessionBus.h"

namespace tamsel::testing {

class KWinSession {
public:
    static constexpr char installedBinary[] = "/usr/bin/kwin_wayland";
    static constexpr char package[] = "kwin-wayland";

    // Throws with what KWin said when it does not come up.
    explicit KWinSession(const SessionBus& bus) : bus_(bus) {
        ::chmod(folder_.path().c_str(), 0755);
        runtime_ = folder_.path() / "run";
        std::filesystem::create_directories(runtime_);
        ::chmod(runtime_.c_str(), 0700);
        std::filesystem::create_directories(folder_.path() / "home");
        // Debian gives the binary a file capability (cap_sys_resource); where
        // the capability bounding set lacks it, as in most containers, exec
        // fails with EPERM. A copy carries no capabilities and runs anywhere.
        const auto binary = folder_.path() / "kwin_wayland";
        std::filesystem::copy_file(installedBinary, binary);
        kwin_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"timeout", "-s", "KILL", daemonLifetime, binary.string(),
                                     "--virtual", "--no-lockscreen", "--no-kactivities", "--socket",
                                     socketName, "--width", "1024", "--height", "768"},
            std::map<std::string, std::string>{
                {"DBUS_SESSION_BUS_ADDRESS", bus.address().toStdString()},
                {"HOME", (folder_.path() / "home").string()},
                {"XDG_RUNTIME_DIR", runtime_.string()},
                {"XDG_CONFIG_HOME", ""},
                {"XDG_DATA_HOME", ""},
                {"XDG_CACHE_HOME", ""},
                {"KWIN_COMPOSE", "Q"},
                {"QT_QPA_PLATFORM", ""},
                {"WAYLAND_DISPLAY", ""},
                {"DISPLAY", ""},
                {"QT_LOGGING_RULES", "kwin_scripting.debug=true"}},
            log().string());
        QDBusConnection watcher = bus.connect(QStringLiteral("tamsel-kwin-watcher"));
        const bool ready = QTest::qWaitFor(
            [&] {
                return std::filesystem::exists(runtime_ / socketName) &&
                       watcher.interface()
                           ->isServiceRegistered(QStringLiteral("org.kde.KWin"))
                           .value() &&
                       scriptLoaded(watcher, QStringLiteral("tamsel-no-such-script")).has_value();
            },
            20000);
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-watcher"));
        if (!ready) {
            throw std::runtime_error("headless KWin did not start: " + readFile(log()));
        }
    }
    ~KWinSession() { kwin_->terminate(); }
    KWinSession(const KWinSession&) = delete;
    KWinSession& operator=(const KWinSession&) = delete;

    // What a Wayland client of this session needs in its environment.
    std::map<std::string, std::string> environment() const {
        return {{"XDG_RUNTIME_DIR", runtime_.string()},
                {"WAYLAND_DISPLAY", socketName},
                {"QT_QPA_PLATFORM", "wayland"},
                {"DBUS_SESSION_BUS_ADDRESS", bus_.address().toStdString()},
                {"DISPLAY", ""}};
    }
    const std::filesystem::path& folder() const { return folder_.path(); }
    // KWin's own output, with what its scripts print.
    std::filesystem::path log() const { return folder_.path() / "kwin.log"; }

    // Whether KWin has a script of that name loaded; nothing when it did not answer.
    static std::optional<bool> scriptLoaded(QDBusConnection& bus, const QString& pluginName) {
        const QDBusMessage reply =
            bus.call(scripting(QStringLiteral("isScriptLoaded")) << pluginName, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return std::nullopt;
        }
        return reply.arguments().first().toBool();
    }

    // Loads `source` as the script `pluginName` and starts it; false when KWin refuses.
    bool startScript(QDBusConnection& bus, const QString& pluginName, const std::string& source) {
        const auto file = folder_.write(pluginName.toStdString() + ".js", source);
        const QDBusMessage loaded =
            bus.call(scripting(QStringLiteral("loadScript"))
                         << QString::fromStdString(file.string()) << pluginName,
                     QDBus::Block, 5000);
        if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().isEmpty() ||
            loaded.arguments().first().toInt() < 0) {
            return false;
        }
        return bus.call(scripting(QStringLiteral("start")), QDBus::Block, 5000).type() ==
               QDBusMessage::ReplyMessage;
    }

    // Runs `source` once inside KWin, as a script of its own, and unloads it.
    bool runScript(QDBusConnection& bus, const std::string& name, const std::string& source) {
        const QString pluginName = QString::fromStdString("tamsel-test-" + name);
        if (!startScript(bus, pluginName, source)) {
            return false;
        }
        // The script runs once KWin has read the file, after start() returns;
        // a KWin script cannot answer, so its effect is what the caller waits for.
        const bool ran = QTest::qWaitFor(
            [&] {
                return readFile(log()).find("tamsel-test " + name + " done") != std::string::npos;
            },
            5000);
        bus.call(scripting(QStringLiteral("unloadScript")) << pluginName, QDBus::Block, 5000);
        return ran;
    }

    // Gives the focus to the window of `appID`, as a click on it would.
    bool activate(QDBusConnection& bus, const std::string& appID) {
        ++activations_;
        return runScript(bus, "activate-" + std::to_string(activations_),
                         "const list = workspace.windowList ? workspace.windowList()\n"
                         "                                  : workspace.clientList();\n"
                         "for (const window of list) {\n"
                         "    if (String(window.resourceClass) === \"" +
                             appID +
                             "\") {\n"
                             "        if (workspace.windowList) {\n"
                             "            workspace.activeWindow = window;\n"
                             "        } else {\n"
                             "            workspace.activeClient = window;\n"
                             "        }\n"
                             "    }\n"
                             "}\n"
                             "print(\"tamsel-test activate-" +
                             std::to_string(activations_) + " done\");\n");
    }

    static constexpr char socketName[] = "wayland-kwin";

private:
    static QDBusMessage scripting(const QString& method) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"),
                                              QStringLiteral("/Scripting"),
                                              QStringLiteral("org.kde.kwin.Scripting"), method);
    }

    const SessionBus& bus_;
    TemporaryFolder folder_;
    std::filesystem::path runtime_;
    std::unique_ptr<ChildProcess> kwin_;
    int activations_ = 0;
};

} // namespace tamsel::testing
