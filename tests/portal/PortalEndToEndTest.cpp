// The real tamsel in a headless sway whose IPC it cannot reach, with the real
// portal frontend and our fake desktop on a bus of the test's own: the
// desktop's portal holds the shortcut, the compositor's virtual keyboard and
// data control paste into foot.

#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include <QTest>

#include "platform/portal/PortalRequest.h"
#include "tests/portal/FakeDesktop.h"
#include "tests/portal/PortalBus.h"
#include "tests/support/SwaySession.h"

namespace tamsel {
namespace {

using namespace std::chrono_literals;

TEST(PortalEndToEnd, ADesktopShortcutPastesThePromptAndQuittingLetsGoOfIt) {
    testing::PortalBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    testing::FakeDesktop desktop(bus.address());
    ASSERT_TRUE(bus.startPortal(QLatin1String(testing::FakeDesktop::busName),
                                QLatin1String(testing::FakeDesktop::interfaces)));
    testing::SwaySession sway;
    const auto home = sway.folder();
    std::filesystem::create_directories(home / ".config/tamsel");
    testing::writeFile(home / ".config/tamsel/config.json",
                       R"({"enabled": true, "injectionMethod": "paste", "language": "en",
                       "postDelayMS": 80, "preDelayMS": 40, "rules": [
                       {"enabled": true, "hotkey": "cmd+shift+enter", "insertHotkey": "cmd+shift+1",
                        "id": "00000000-0000-0000-0000-000000000001", "name": "P1", "separator": " ",
                        "text": "Review the plan. 日本語のテスト ✅"}],
                       "targetBundleIDs": ["target"]})");
    auto environment = sway.environment();
    environment["SWAYSOCK"] = ""; // as on a desktop that lends no bindings
    environment["DBUS_SESSION_BUS_ADDRESS"] = bus.address().toStdString();
    environment["HOME"] = home.string();
    environment["LANGUAGE"] = "en";
    environment["LC_ALL"] = "C.UTF-8";
    environment["QT_QPA_PLATFORM"] = "offscreen";
    environment["ASAN_OPTIONS"] = "detect_leaks=0";
    environment["TSAN_OPTIONS"] = "report_bugs=0 exitcode=0";
    const auto log = home / "tamsel.log";
    auto window = sway.startCatWindow("target");
    auto tamsel = std::make_unique<testing::ChildProcess>(
        std::vector<std::string>{TAMSEL_EXECUTABLE}, environment, log.string());

    const QString bindShortcuts = QStringLiteral("BindShortcuts");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.calls(bindShortcuts).empty(); }, 20000))
        << testing::readFile(log);
    const std::string said = testing::readFile(log);
    EXPECT_NE(said.find("shortcuts by the desktop portal, front application by none, typing by "
                        "Wayland, clipboard by Wayland"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("shortcuts fire in every application"), std::string::npos) << said;
    const auto bound = Portal::readShortcuts(desktop.calls(bindShortcuts).front().arguments.value(2));
    ASSERT_EQ(bound.size(), 2u);
    EXPECT_EQ(bound[0].properties.value(QStringLiteral("description")).toString(),
              QStringLiteral("Append & Send: P1"));
    EXPECT_EQ(bound[1].properties.value(QStringLiteral("description")).toString(),
              QStringLiteral("Append Only: P1"));

    const QString session =
        desktop.sessions(QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts")).front();
    desktop.activate(session, QStringLiteral("shift+cmd+enter"));
    desktop.deactivate(session, QStringLiteral("shift+cmd+enter"));
    ASSERT_TRUE(testing::waitUntil(
        [&] { return sway.typedInto("target").find('\n') != std::string::npos; }, 20s))
        << sway.typedInto("target") << testing::readFile(log);
    EXPECT_EQ(sway.typedInto("target"), " Review the plan. 日本語のテスト ✅\n");

    tamsel->signal(SIGTERM);
    EXPECT_EQ(tamsel->waitForExit(10s), 0) << testing::readFile(log);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.closedSessions().size() == 1; }, 10000));
    EXPECT_EQ(desktop.closedSessions(), std::vector<QString>{session});
}

} // namespace
} // namespace tamsel
