// The shortcut tap against KDE Plasma's own pieces: Debian's portal frontend
// with KDE's portal back end behind it, and the shortcut daemon inside a
// headless KWin. Needs the kwin-wayland and xdg-desktop-portal-kde packages;
// without them these tests fail when the build requires them
// (TAMSEL_REQUIRE_KWIN) and are skipped otherwise.

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QTest>

#include "platform/portal/PortalShortcutNotation.h"
#include "platform/portal/PortalShortcutTap.h"
#include "tests/portal/PortalBus.h"
#include "tests/portal/ShortcutRig.h"
#include "tests/support/KWinSession.h"

namespace tamsel {
namespace {

using testing::Fired;
using testing::ShortcutRig;

constexpr int waitMS = 10000;
constexpr char backendName[] = "org.freedesktop.impl.portal.desktop.kde";
constexpr char backendPackage[] = "xdg-desktop-portal-kde";
// Where the back end's package says its program is (the path has the
// architecture in it).
constexpr char backendService[] =
    "/usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.kde.service";

std::optional<std::string> backendProgram() {
    std::ifstream service(backendService);
    std::string line;
    while (std::getline(service, line)) {
        if (line.rfind("Exec=", 0) == 0) {
            return line.substr(5);
        }
    }
    return std::nullopt;
}

class RealKDEShortcuts : public ::testing::Test {
protected:
    void SetUp() override {
        const std::optional<std::string> backend = backendProgram();
        const bool installed = std::filesystem::exists(testing::KWinSession::installedBinary) &&
                               backend && std::filesystem::exists(*backend);
        if (!installed) {
#ifdef TAMSEL_REQUIRE_KWIN
            FAIL() << "install the " << testing::KWinSession::package << " and " << backendPackage
                   << " packages";
#else
            GTEST_SKIP() << "needs the " << testing::KWinSession::package << " and "
                         << backendPackage << " packages";
#endif
        }
        bus_ = std::make_unique<testing::PortalBus>();
        ASSERT_FALSE(bus_->address().isEmpty());
        kwin_ = std::make_unique<testing::KWinSession>(*bus_);
        // The back end is a Wayland client of the KWin; it keeps nothing of
        // its own, the shortcuts live in KWin's daemon.
        std::map<std::string, std::string> environment = kwin_->environment();
        environment["HOME"] = (kwin_->folder() / "home").string();
        environment["XDG_CURRENT_DESKTOP"] = "KDE";
        environment["XDG_CONFIG_HOME"] = "";
        environment["XDG_DATA_HOME"] = "";
        backend_ = std::make_unique<testing::ChildProcess>(
            std::vector<std::string>{"timeout", testing::daemonLifetime, *backend}, environment,
            backendLog().string());
        control_ = bus_->connect(QStringLiteral("tamsel-kde-control"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return control_.interface()
                    ->isServiceRegistered(QLatin1String(backendName))
                    .value();
            },
            waitMS))
            << testing::readFile(backendLog());
        ASSERT_TRUE(
            bus_->startPortal(QLatin1String(backendName),
                              QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts")))
            << testing::readFile(bus_->folder() / "portal.log");
        client_ = bus_->connect(QStringLiteral("tamsel-kde-client"));
    }
    void TearDown() override {
        client_ = QDBusConnection(QString());
        control_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kde-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kde-control"));
        backend_.reset();
        kwin_.reset();
        bus_.reset();
    }

    std::filesystem::path backendLog() const {
        return kwin_->folder() / "backend.log";
    }

    // KDE's shortcut daemon: the object it keeps our shortcuts under. With no
    // application id (Debian's frontend has no registry) its name is the token.
    QString component() {
        const QDBusMessage reply = control_.call(daemon(QStringLiteral("/kglobalaccel"),
                                                        QStringLiteral("org.kde.KGlobalAccel"),
                                                        QStringLiteral("getComponent"))
                                                 << QLatin1String(PortalShortcutTap::sessionToken));
        return reply.arguments().isEmpty()
                   ? QString()
                   : reply.arguments().first().value<QDBusObjectPath>().path();
    }
    // Fires a shortcut by its id as the daemon does on its keys.
    bool press(const QString& id) {
        return control_
                   .call(daemon(component(), QLatin1String(componentInterface),
                                QStringLiteral("invokeShortcut"))
                         << id)
                   .type() == QDBusMessage::ReplyMessage;
    }
    std::optional<bool> componentActive() {
        const QDBusMessage reply = control_.call(
            daemon(component(), QLatin1String(componentInterface), QStringLiteral("isActive")));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return std::nullopt;
        }
        return reply.arguments().first().toBool();
    }

    static QDBusMessage daemon(const QString& path, const QString& interface,
                               const QString& method) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), path,
                                              interface, method);
    }
    static constexpr char componentInterface[] = "org.kde.kglobalaccel.Component";

    std::unique_ptr<testing::PortalBus> bus_;
    std::unique_ptr<testing::KWinSession> kwin_;
    std::unique_ptr<testing::ChildProcess> backend_;
    QDBusConnection control_{QString()};
    QDBusConnection client_{QString()};
};

// The description KDE shows for each trigger, by our shortcut.
std::map<std::string, std::string> shown(const std::vector<PortalAssignedTrigger>& triggers) {
    std::map<std::string, std::string> descriptions;
    for (const PortalAssignedTrigger& assigned : triggers) {
        descriptions[assigned.hotkey.stringValue()] = assigned.description;
    }
    return descriptions;
}

TEST_F(RealKDEShortcuts, BindsOurTriggersFiresThemAndKeepsThemForTheNextStart) {
    const std::map<std::string, std::string> expected{
        {"cmd+enter", "Meta+Return"},  {"shift+cmd+enter", "Meta+Shift+Return"},
        {"ctrl+enter", "Ctrl+Return"}, {"ctrl+opt+1", "Ctrl+Alt+1"},
        {"ctrl+opt+2", "Ctrl+Alt+2"},  {"ctrl+opt+3", "Ctrl+Alt+3"},
    };
    auto startsAndBinds = [&](ShortcutRig& rig) {
        rig.controller->start();
        if (!QTest::qWaitFor([&] { return !rig.reported().empty(); }, waitMS)) {
            ADD_FAILURE() << "no binding: " << testing::readFile(backendLog());
            return;
        }
        EXPECT_EQ(rig.reported(), std::vector<PortalProblem>{PortalProblem::none});
        EXPECT_EQ(shown(rig.triggers()), expected);
        for (const PortalAssignedTrigger& assigned : rig.triggers()) {
            // KDE read our notation as meant, and we read its description.
            EXPECT_EQ(assigned.trigger, assigned.hotkey) << assigned.description;
        }
        EXPECT_EQ(componentActive(), true);
    };

    {
        ShortcutRig rig(client_);
        startsAndBinds(rig);
        ASSERT_TRUE(press(QStringLiteral("ctrl+opt+2")));
        ASSERT_TRUE(press(QStringLiteral("cmd+enter")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig.firings().size() >= 2; }, waitMS));
        EXPECT_EQ(rig.firings(),
                  (std::vector<Fired>{{rig.config.rules[1].name, TriggerKind::insert},
                                      {rig.config.rules[0].name, TriggerKind::send}}));
    }
    // Stopped: KDE lets go of the keys, and keeps them for us. Its back end
    // lets go a moment after the session has closed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return componentActive() == false; }, waitMS));

    // The next start finds its triggers where it left them, not taken.
    ShortcutRig again(client_);
    startsAndBinds(again);
    ASSERT_TRUE(press(QStringLiteral("shift+cmd+enter")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !again.firings().empty(); }, waitMS));
    EXPECT_EQ(again.firings(),
              (std::vector<Fired>{{again.config.rules[1].name, TriggerKind::send}}));
}

TEST_F(RealKDEShortcuts, AChangedSetIsBoundAtOnceInTheSameSessionName) {
    ShortcutRig rig(client_);
    rig.controller->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.reported().empty(); }, waitMS))
        << testing::readFile(backendLog());

    Config changed = rig.config;
    changed.rules[0].hotkey = "ctrl+shift+1";
    rig.controller->updateConfig(changed);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.reported().size() == 2; }, waitMS))
        << testing::readFile(backendLog());
    EXPECT_EQ(rig.reported().back(), PortalProblem::none);
    const std::map<std::string, std::string> descriptions = shown(rig.triggers());
    EXPECT_EQ(descriptions.at("ctrl+shift+1"), "Ctrl+Shift+1");
    // Kept although the old session went just before: KDE did not drop it.
    EXPECT_EQ(descriptions.at("ctrl+opt+1"), "Ctrl+Alt+1");
    EXPECT_EQ(componentActive(), true);

    ASSERT_TRUE(press(QStringLiteral("ctrl+shift+1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.firings().empty(); }, waitMS));
    EXPECT_EQ(rig.firings(), (std::vector<Fired>{{changed.rules[0].name, TriggerKind::send}}));
}

} // namespace
} // namespace tamsel
