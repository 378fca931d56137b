#include "platform/portal/PortalShortcutTap.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QTest>

#include "platform/portal/PortalShortcutNotation.h"
#include "tests/portal/PortalFixture.h"
#include "tests/portal/ShortcutRig.h"

namespace tamsel {
namespace {

using testing::Fired;
using testing::RecordedCall;
using testing::ShortcutRig;

constexpr int waitMS = 10000;

std::vector<PortalShortcutEntry> boundShortcuts(const RecordedCall& call) {
    return Portal::readShortcuts(call.arguments.value(2));
}

// The shortcuts CreateSession's options carried.
std::vector<PortalShortcutEntry> offeredShortcuts(const RecordedCall& call) {
    QVariantMap options;
    call.arguments.value(3).value<QDBusArgument>() >> options;
    return Portal::readShortcuts(options.value(QStringLiteral("shortcuts")));
}

using ShortcutRows = std::vector<std::tuple<std::string, std::string, std::string>>;

ShortcutRows rows(const std::vector<PortalShortcutEntry>& shortcuts) {
    ShortcutRows seen;
    for (const PortalShortcutEntry& entry : shortcuts) {
        seen.emplace_back(
            entry.id.toStdString(),
            entry.properties.value(QStringLiteral("description")).toString().toStdString(),
            entry.properties.value(QStringLiteral("preferred_trigger")).toString().toStdString());
    }
    return seen;
}

class PortalShortcutTapTest : public testing::RealPortalTest {
protected:
    bool waitForBindings(std::size_t count) {
        return QTest::qWaitFor(
            [&] { return desktop->calls(QStringLiteral("BindShortcuts")).size() >= count; },
            waitMS);
    }
    QString session(std::size_t index) {
        auto sessions =
            desktop->sessions(QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts"));
        return index < sessions.size() ? sessions[index] : QString();
    }
};

TEST_F(PortalShortcutTapTest, BindsEveryWatchedShortcutWithItsDescriptionAndPreferredTrigger) {
    // Debian's portal predates the registry: the refusal costs nothing.
    Portal::registerApplication(client);
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(waitForBindings(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.reported().empty(); }, waitMS));
    EXPECT_EQ(rig.reported(), std::vector<PortalProblem>{PortalProblem::none});

    const ShortcutRows expected{
        {"ctrl+enter", "Prompt for ctrl+enter", "CTRL+Return"},
        {"ctrl+opt+1", "Prompt for ctrl+opt+1", "CTRL+ALT+1"},
        {"ctrl+opt+2", "Prompt for ctrl+opt+2", "CTRL+ALT+2"},
        {"ctrl+opt+3", "Prompt for ctrl+opt+3", "CTRL+ALT+3"},
        {"cmd+enter", "Prompt for cmd+enter", "LOGO+Return"},
        {"shift+cmd+enter", "Prompt for shift+cmd+enter", "LOGO+SHIFT+Return"},
    };
    EXPECT_EQ(rows(boundShortcuts(desktop->calls(QStringLiteral("BindShortcuts")).front())),
              expected);
    // The same list goes with the session, for desktops that bind only there.
    EXPECT_EQ(rows(offeredShortcuts(desktop->calls(QStringLiteral("CreateSession")).front())),
              expected);
    // One session, one binding: nothing asked twice.
    EXPECT_EQ(desktop->calls(QStringLiteral("CreateSession")).size(), 1u);
    EXPECT_EQ(desktop->calls(QStringLiteral("BindShortcuts")).size(), 1u);
}

TEST_F(PortalShortcutTapTest, ActivatedFiresThePromptAndKindBoundToIt) {
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.reported().empty(); }, waitMS));

    desktop->activate(session(0), QStringLiteral("ctrl+opt+2"));
    desktop->deactivate(session(0), QStringLiteral("ctrl+opt+2"));
    desktop->activate(session(0), QStringLiteral("cmd+enter"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.firings().size() >= 2; }, waitMS));
    const std::vector<Fired> expected{{rig.config.rules[1].name, TriggerKind::insert},
                                      {rig.config.rules[0].name, TriggerKind::send}};
    EXPECT_EQ(rig.firings(), expected);
    // The second shortcut was never let go: it counts as held, for a while.
    EXPECT_EQ(rig.held->held(), Hotkey::parse("cmd+enter"));

    // An id we never bound, or another session's, fires nothing.
    desktop->activate(session(0), QStringLiteral("ctrl+opt+9"));
    desktop->activate(QStringLiteral("/org/freedesktop/portal/desktop/session/1_1/other"),
                      QStringLiteral("ctrl+enter"));
    QTest::qWait(300);
    EXPECT_EQ(rig.firings().size(), 2u);
}

TEST_F(PortalShortcutTapTest, ReportsTheTriggerTheDesktopAssignedAndItsLaterChanges) {
    desktop->assignTrigger(QStringLiteral("cmd+enter"), QStringLiteral("Meta+Alt+Return"));
    desktop->assignTrigger(QStringLiteral("ctrl+opt+3"), QString());
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.triggers().size() == 6; }, waitMS));
    auto triggerOf = [&](const char* hotkey) {
        for (const PortalAssignedTrigger& assigned : rig.triggers()) {
            if (assigned.hotkey == Hotkey::parse(hotkey)) {
                return assigned;
            }
        }
        return PortalAssignedTrigger{};
    };
    EXPECT_EQ(triggerOf("cmd+enter").description, "Meta+Alt+Return");
    EXPECT_EQ(triggerOf("cmd+enter").trigger, Hotkey::parse("cmd+opt+enter"));
    EXPECT_EQ(triggerOf("ctrl+opt+1").description, "CTRL+ALT+1");
    EXPECT_EQ(triggerOf("ctrl+opt+3").description, "");
    EXPECT_EQ(triggerOf("ctrl+opt+3").trigger, std::nullopt);

    // The user gives a shortcut another trigger in the desktop's settings.
    desktop->changeShortcuts(session(0),
                             {{QStringLiteral("cmd+enter"), QStringLiteral("Ctrl+Shift+Return")},
                              {QStringLiteral("ctrl+opt+3"), QStringLiteral("Ctrl+Alt+3")}});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return triggerOf("cmd+enter").description == "Ctrl+Shift+Return"; }, waitMS));
    EXPECT_EQ(triggerOf("cmd+enter").trigger, Hotkey::parse("ctrl+shift+enter"));
    EXPECT_EQ(triggerOf("ctrl+opt+3").trigger, Hotkey::parse("ctrl+opt+3"));
    // The one not named has no trigger any more.
    EXPECT_EQ(triggerOf("ctrl+enter").description, "");
}

TEST_F(PortalShortcutTapTest, AChangedConfigurationBindsInANewSessionAndPausingClosesIt) {
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(waitForBindings(1));
    const QString first = session(0);

    Config changed = rig.config;
    changed.rules[0].hotkey = "ctrl+shift+1";
    rig.controller->updateConfig(changed);
    ASSERT_TRUE(waitForBindings(2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop->closedSessions().size() == 1; }, waitMS));
    EXPECT_EQ(desktop->closedSessions(), std::vector<QString>{first});
    std::vector<QString> ids;
    for (const PortalShortcutEntry& entry :
         boundShortcuts(desktop->calls(QStringLiteral("BindShortcuts"))[1])) {
        ids.push_back(entry.id);
    }
    EXPECT_NE(std::find(ids.begin(), ids.end(), QStringLiteral("ctrl+shift+1")), ids.end());
    EXPECT_EQ(std::find(ids.begin(), ids.end(), QStringLiteral("cmd+enter")), ids.end());

    // The old session's shortcuts are gone; the new one's fire.
    desktop->activate(first, QStringLiteral("cmd+enter"));
    desktop->activate(session(1), QStringLiteral("ctrl+shift+1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.firings().empty(); }, waitMS));
    QTest::qWait(200);
    EXPECT_EQ(rig.firings(), (std::vector<Fired>{{changed.rules[0].name, TriggerKind::send}}));

    // The same set again binds nothing new.
    rig.controller->updateConfig(changed);
    QTest::qWait(300);
    EXPECT_EQ(desktop->calls(QStringLiteral("BindShortcuts")).size(), 2u);

    // Paused: the desktop lets go of every shortcut.
    changed.enabled = false;
    rig.controller->updateConfig(changed);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop->closedSessions().size() == 2; }, waitMS));
    EXPECT_EQ(desktop->calls(QStringLiteral("CreateSession")).size(), 2u);
}

TEST_F(PortalShortcutTapTest, ADesktopThatBindsWithTheSessionIsNotAskedToBindAgain) {
    desktop->setBindsAtCreation(true);
    desktop->assignTrigger(QStringLiteral("cmd+enter"), QStringLiteral("Meta+Return"));
    desktop->assignTrigger(QStringLiteral("ctrl+opt+2"), QString());
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.triggers().size() == 6; }, waitMS));
    EXPECT_EQ(rig.reported(), std::vector<PortalProblem>{PortalProblem::none});
    // Such a desktop would open its settings at every start for it.
    EXPECT_TRUE(desktop->calls(QStringLiteral("BindShortcuts")).empty());
    for (const PortalAssignedTrigger& assigned : rig.triggers()) {
        if (assigned.hotkey == Hotkey::parse("ctrl+opt+2")) {
            EXPECT_EQ(assigned.description, "");
        } else {
            // What it shows reads back as the shortcut we asked for.
            EXPECT_EQ(assigned.trigger, assigned.hotkey) << assigned.description;
        }
    }

    desktop->activate(session(0), QStringLiteral("cmd+enter"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.firings().empty(); }, waitMS));
    EXPECT_EQ(rig.firings(), (std::vector<Fired>{{rig.config.rules[0].name, TriggerKind::send}}));
}

TEST_F(PortalShortcutTapTest, ARestartedTapBindsInASessionOfTheSameName) {
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(waitForBindings(1));
    // At once: the first session is still closing when the second is asked for.
    rig.controller->stop();
    rig.controller->start();
    ASSERT_TRUE(waitForBindings(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.reported().size() == 2; }, waitMS));
    EXPECT_EQ(rig.reported(),
              (std::vector<PortalProblem>{PortalProblem::none, PortalProblem::none}));
    // The desktop keeps the keys of a session under its name.
    EXPECT_EQ(session(1), session(0));
    EXPECT_EQ(desktop->closedSessions(), std::vector<QString>{session(0)});
}

TEST_F(PortalShortcutTapTest, StoppingTheTapClosesItsSession) {
    {
        ShortcutRig rig(client);
        rig.controller->start();
        ASSERT_TRUE(waitForBindings(1));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop->closedSessions().size() == 1; }, waitMS));
}

TEST_F(PortalShortcutTapTest, ASessionTheDesktopEndsIsReportedAndFiresNoMore) {
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.reported().empty(); }, waitMS));
    desktop->closeSession(session(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.reported().size() == 2; }, waitMS));
    EXPECT_EQ(rig.reported().back(), PortalProblem::closed);
    desktop->activate(session(0), QStringLiteral("cmd+enter"));
    QTest::qWait(300);
    EXPECT_TRUE(rig.firings().empty());
    EXPECT_FALSE(
        Portal::message(PortalProblem::closed, Portal::Feature::shortcuts, Language::ja).empty());
}

TEST_F(PortalShortcutTapTest, ARefusedBindingIsReportedAndItsSessionClosed) {
    desktop->setBindResponse(1);
    ShortcutRig rig(client);
    rig.controller->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.reported().empty(); }, waitMS));
    EXPECT_EQ(rig.reported(), std::vector<PortalProblem>{PortalProblem::denied});
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop->closedSessions().size() == 1; }, waitMS));
    EXPECT_TRUE(rig.triggers().empty());
}

TEST(PortalShortcutTapWithoutPortal, SaysThePortalIsMissing) {
    testing::PortalBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    QDBusConnection client = bus.connect(QStringLiteral("tamsel-lonely"));
    {
        ShortcutRig rig(client);
        rig.controller->start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.reported().empty(); }, waitMS));
        EXPECT_EQ(rig.reported(), std::vector<PortalProblem>{PortalProblem::missing});
        EXPECT_NE(Portal::message(PortalProblem::missing, Portal::Feature::shortcuts, Language::en)
                      .find("GlobalShortcuts"),
                  std::string::npos);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-lonely"));
}

} // namespace
} // namespace tamsel
