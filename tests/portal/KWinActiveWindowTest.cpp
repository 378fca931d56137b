#include "platform/portal/KWinActiveWindow.h"

#include <gtest/gtest.h>

#include <QTest>

#include "tests/portal/FakeDesktop.h"
#include "tests/portal/PortalBus.h"

namespace tamsel {
namespace {

TEST(KWinActiveWindow, LoadsItsScriptAndHearsTheWindowInFrontUntilUnloaded) {
    testing::PortalBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    testing::FakeKWin kwin(bus.address());
    ASSERT_TRUE(kwin.owned());
    QDBusConnection client = bus.connect(QStringLiteral("tamsel-kwin-client"));
    QDBusConnection script = bus.connect(QStringLiteral("tamsel-kwin-script"));
    {
        KWinActiveWindow window(client);
        std::vector<std::optional<std::string>> heard;
        window.onChange = [&](const std::optional<std::string>& application) {
            heard.push_back(application);
        };
        const std::string folder = bus.folder().path().string();
        ASSERT_EQ(window.load(folder), std::nullopt);

        // A copy a crashed run left is unloaded before ours is loaded and started.
        std::vector<QString> members;
        for (const auto& call : kwin.calls()) {
            members.push_back(call.member);
        }
        EXPECT_EQ(members,
                  (std::vector<QString>{QStringLiteral("unloadScript"),
                                        QStringLiteral("loadScript"), QStringLiteral("start")}));
        EXPECT_EQ(kwin.calls().at(1).arguments.value(1).toString(),
                  QLatin1String(KWinActiveWindow::pluginName));
        // The script calls back this very connection, by its unique name.
        EXPECT_TRUE(
            kwin.loadedScript().contains(QStringLiteral("\"") + client.baseService() + "\""));
        EXPECT_FALSE(kwin.loadedScript().contains(QStringLiteral("__TAMSEL_SERVICE__")));

        // As the script does when the focus moves.
        auto report = [&](const QString& resourceClass) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                client.baseService(), QLatin1String(KWinActiveWindow::objectPath),
                QStringLiteral("io.tamsel.Tamsel.KWin"), QStringLiteral("activeWindowChanged"));
            call << resourceClass << QStringLiteral("a caption");
            script.asyncCall(call);
        };
        report(QStringLiteral("org.kde.konsole"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() == 1; }, 5000));
        EXPECT_EQ(window.application(), "org.kde.konsole");
        KWinFrontWindowProbe probe(std::shared_ptr<KWinActiveWindow>(&window, [](auto*) {}));
        EXPECT_EQ(probe.frontWindow(), (FrontWindow{0, "org.kde.konsole"}));
        report(QString());
        ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() == 2; }, 5000));
        EXPECT_EQ(window.application(), std::nullopt);

        // KWin refuses a name it already has: loading again works only
        // because the copy loaded before goes first.
        EXPECT_EQ(window.load(folder), std::nullopt);

        window.unload();
        EXPECT_EQ(kwin.calls().back().member, QStringLiteral("unloadScript"));
        EXPECT_FALSE(std::filesystem::exists(bus.folder() / "tamsel-active-window.js"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-script"));
}

TEST(KWinActiveWindow, AnX11ClassKWinLowercasedIsReportedAsTheTargetListSpellsIt) {
    testing::PortalBus bus;
    QDBusConnection client = bus.connect(QStringLiteral("tamsel-kwin-names"));
    {
        KWinActiveWindow window(client);
        std::vector<std::optional<std::string>> heard;
        window.onChange = [&](const std::optional<std::string>& application) {
            heard.push_back(application);
        };
        // KWin 5.27 reports xterm (class "XTerm") and VS Code under XWayland
        // (class "Code") in lower case.
        window.activeWindowChanged(QStringLiteral("code"), QString());
        EXPECT_EQ(window.application(), "code");
        window.setKnownNames({"XTerm", "Code", "foot"});
        EXPECT_EQ(window.application(), "Code");
        // The tap must hear it: the window in front has become a target.
        EXPECT_EQ(heard, (std::vector<std::optional<std::string>>{"code", "Code"}));

        window.activeWindowChanged(QStringLiteral("xterm"), QString());
        EXPECT_EQ(window.application(), "XTerm");
        window.activeWindowChanged(QStringLiteral("foot"), QString());
        EXPECT_EQ(window.application(), "foot");
        window.activeWindowChanged(QStringLiteral("firefox"), QString());
        EXPECT_EQ(window.application(), "firefox");
        // Only case is forgiven: a name that merely starts alike stays itself.
        window.activeWindowChanged(QStringLiteral("xter"), QString());
        EXPECT_EQ(window.application(), "xter");
        window.activeWindowChanged(QString(), QString());
        EXPECT_EQ(window.application(), std::nullopt);
        EXPECT_EQ(heard.back(), std::nullopt);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-names"));
}

TEST(KWinActiveWindow, SaysWhyWhenKWinIsNotThere) {
    testing::PortalBus bus;
    QDBusConnection client = bus.connect(QStringLiteral("tamsel-kwin-alone"));
    {
        KWinActiveWindow window(client);
        const auto problem = window.load(bus.folder().path().string());
        ASSERT_TRUE(problem.has_value());
        EXPECT_NE(problem->find("KWin did not load"), std::string::npos);
        EXPECT_EQ(window.application(), std::nullopt);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-alone"));
}

} // namespace
} // namespace tamsel
