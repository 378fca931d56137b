// Panels that speak StatusNotifierItem over D-Bus (KDE Plasma, swaybar, the
// GNOME extensions) rather than XEmbed, started before or after tamsel as
// happens at login: a stand-in watcher on a bus of the test's own hears the
// item register, and activating the item opens the popover.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

#include "tests/shell/FakeStatusNotifierWatcher.h"
#include "tests/shell/TamselUnderX.h"
#include "tests/support/SessionBus.h"

using namespace tamsel::testing;

namespace {

constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";

class StatusNotifierTest : public ::testing::TestWithParam<int> {};

TEST_P(StatusNotifierTest, ThePanelsWatcherGetsTheItemAndActivatingItOpensThePopover) {
    const int panelDelayMS = GetParam();
    SessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "no private dbus-daemon";
    // Qt keeps named connections for the process: a name of this run's own.
    const QString connectionName = QStringLiteral("panel-%1").arg(panelDelayMS);
    QDBusConnection panel = bus.connect(connectionName);
    FakeStatusNotifierWatcher watcher;
    auto registerWatcher = [&] {
        ASSERT_TRUE(panel.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                         QDBusConnection::ExportAllContents));
        ASSERT_TRUE(panel.registerService(QLatin1String(watcherService)));
    };
    if (panelDelayMS == 0) {
        registerWatcher();
    }

    TamselUnderX session;
    session.writeConfig(oneRuleConfig("paste", "Plan only."));
    auto environment = session.environment();
    environment["DBUS_SESSION_BUS_ADDRESS"] = bus.address().toStdString();
    ChildProcess tamsel({TAMSEL_EXECUTABLE}, environment, session.log().string());
    // The watcher answers on this thread: wait with Qt's event loop turning.
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.grabbedElsewhere(oneKey, superMask); }, 20000))
        << readFile(session.log());
    if (panelDelayMS > 0) {
        QTest::qWait(panelDelayMS);
        registerWatcher();
    }

    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 10000))
        << "no item registered\n"
        << readFile(session.log());
    const QString item = watcher.items().front();
    const QString service = item.section('/', 0, 0);
    const QString path = '/' + item.section('/', 1);
    auto property = [&](const char* name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(name);
        const QDBusMessage reply = panel.call(get, QDBus::Block, 5000);
        return reply.arguments().isEmpty()
                   ? QVariant()
                   : reply.arguments().front().value<QDBusVariant>().variant();
    };
    EXPECT_EQ(property("Title").toString(), QStringLiteral("Tamsel"));
    EXPECT_EQ(property("Status").toString(), QStringLiteral("Active"));

    EXPECT_FALSE(session.windowOf(tamsel.pid()).has_value()) << "the popover opened by itself";
    QDBusMessage activate = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    activate << 100 << 10;
    panel.call(activate, QDBus::Block, 5000);
    EXPECT_TRUE(waitUntil([&] { return session.windowOf(tamsel.pid()).has_value(); }, 10s))
        << "activating the item did not open the popover\n"
        << readFile(session.log());
    tamsel.signal(SIGTERM);
    EXPECT_EQ(tamsel.waitForExit(10s), 0);
    panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(connectionName);
}

// A panel up before tamsel, and one that comes two seconds after it.
INSTANTIATE_TEST_SUITE_P(PanelTimings, StatusNotifierTest, ::testing::Values(0, 2000));

} // namespace
