#include "platform/portal/PortalKeyboard.h"

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <set>

#include <gtest/gtest.h>

#include <QTest>

#include "engine/InjectionText.h"
#include "engine/Injector.h"
#include "platform/Clock.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/VirtualClock.h"
#include "platform/portal/PortalRestoreToken.h"
#include "tests/portal/PortalFixture.h"

namespace tamsel {
namespace {

using testing::RecordedCall;

constexpr int waitMS = 10000;

// (method, value, pressed) for every key the desktop was told of, in order.
using Key = std::tuple<std::string, std::uint32_t, std::uint32_t>;

std::vector<Key> keysSent(const std::vector<RecordedCall>& calls, int valueAt) {
    std::vector<Key> keys;
    for (const RecordedCall& call : calls) {
        if (call.member == QLatin1String("NotifyKeyboardKeycode") ||
            call.member == QLatin1String("NotifyKeyboardKeysym")) {
            keys.emplace_back(call.member == QLatin1String("NotifyKeyboardKeycode") ? "code"
                                                                                    : "sym",
                              static_cast<std::uint32_t>(call.arguments.value(valueAt).toInt()),
                              call.arguments.value(valueAt + 1).toUInt());
        }
    }
    return keys;
}

QVariantMap optionsOf(const RecordedCall& call, int at) {
    QVariantMap map;
    const QVariant value = call.arguments.value(at);
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        value.value<QDBusArgument>() >> map;
    } else {
        map = value.toMap();
    }
    return map;
}

void press(KeyboardEvents& keyboard, std::uint16_t keyCode, std::uint64_t flags) {
    for (bool down : {true, false}) {
        auto event = keyboard.createKeyEvent(nullptr, keyCode, down);
        event->setFlags(flags);
        keyboard.post(*event);
    }
}

void type(KeyboardEvents& keyboard, std::u16string_view text) {
    for (bool down : {true, false}) {
        auto event = keyboard.createKeyEvent(nullptr, Injector::unicodeKeyCode, down);
        event->setUnicodeString(text);
        keyboard.post(*event);
    }
}

class PortalKeyboardTest : public testing::RealPortalTest {
protected:
    std::unique_ptr<PortalKeyboard> startKeyboard() {
        auto keyboard = std::make_unique<PortalKeyboard>(client, held, bus->folder() / "token");
        keyboard->onChange = [this](PortalProblem problem) { changes.push_back(problem); };
        keyboard->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !changes.empty(); }, waitMS));
        return keyboard;
    }
    // The backend hears (o session, a{sv} options, i value, u state) after
    // the frontend's own handle.
    std::vector<Key> sent() { return keysSent(desktop->calls(), 2); }

    std::shared_ptr<PortalHeldShortcut> held = std::make_shared<PortalHeldShortcut>();
    std::vector<PortalProblem> changes;
};

TEST_F(PortalKeyboardTest, AsksForTheKeyboardAloneAndStarts) {
    auto keyboard = startKeyboard();
    ASSERT_EQ(changes, std::vector<PortalProblem>{PortalProblem::none});
    EXPECT_TRUE(keyboard->ready());
    const auto selected = desktop->calls(QStringLiteral("SelectDevices"));
    ASSERT_EQ(selected.size(), 1u);
    // (o handle, o session, s app_id, a{sv} options)
    const QVariantMap options = optionsOf(selected.front(), 3);
    EXPECT_EQ(options.value(QStringLiteral("types")).toUInt(), PortalKeyboard::keyboardDevice);
    // Debian's portal has version 1 of the interface, which knows no persistence.
    EXPECT_FALSE(options.contains(QStringLiteral("persist_mode")));
    EXPECT_EQ(desktop->calls(QStringLiteral("Start")).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(bus->folder() / "token"));
}

TEST_F(PortalKeyboardTest, SendsThePasteKeyAndReturnAsKeyCodesAndTextAsKeysyms) {
    auto keyboard = startKeyboard();
    ASSERT_TRUE(keyboard->ready());
    press(*keyboard, 114, Modifiers::shiftFlag);                        // Shift+Insert
    press(*keyboard, 9, Modifiers::controlFlag | Modifiers::shiftFlag); // Ctrl+Shift+V
    press(*keyboard, Injector::returnKeyCode, 0);
    type(*keyboard, u"a é日😀");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent().size() >= 20; }, waitMS));
    const std::vector<Key> expected{
        {"code", 42, 1},       {"code", 110, 1},      {"code", 110, 0},      {"code", 42, 0},
        {"code", 29, 1},       {"code", 42, 1},       {"code", 47, 1},       {"code", 47, 0},
        {"code", 42, 0},       {"code", 29, 0},       {"code", 28, 1},       {"code", 28, 0},
        {"sym", 0x61, 1},      {"sym", 0x61, 0},      {"sym", 0x20, 1},      {"sym", 0x20, 0},
        {"sym", 0xE9, 1},      {"sym", 0xE9, 0},      {"sym", 0x10065E5, 1}, {"sym", 0x10065E5, 0},
        {"sym", 0x101F600, 1}, {"sym", 0x101F600, 0},
    };
    EXPECT_EQ(sent(), expected);
}

TEST_F(PortalKeyboardTest, TheInjectorWaitsWhileTheShortcutIsHeldThenTypesAndSends) {
    auto keyboard = std::shared_ptr<PortalKeyboard>(startKeyboard());
    ASSERT_TRUE(keyboard->ready());
    Injector injector(keyboard, {}, std::make_shared<SystemClock>());
    Config config;
    config.injectionMethod = InjectionMethod::type;
    config.preDelayMS = 0;
    config.postDelayMS = 0;
    Rule rule;
    rule.name = "Ship";
    rule.text = "ok";
    rule.hotkey = "ctrl+enter";
    held->pressed(*Hotkey::parse(rule.hotkey));
    injector.perform(rule, TriggerKind::send, config);
    QTest::qWait(200);
    EXPECT_TRUE(sent().empty()) << "keys went out while Ctrl+Return was held";
    held->released();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent().size() >= 6; }, waitMS));
    injector.waitUntilIdle();
    const std::string payload = InjectionText::flattenForTyping(rule.payload());
    std::vector<Key> expected;
    for (char c : payload) {
        expected.emplace_back("sym", static_cast<unsigned char>(c), 1);
        expected.emplace_back("sym", static_cast<unsigned char>(c), 0);
    }
    expected.emplace_back("code", 28, 1);
    expected.emplace_back("code", 28, 0);
    EXPECT_EQ(sent(), expected);
}

// A layout that lacks the keysyms it is given, as Mutter's Latin layouts lack
// Japanese; it remembers what it was asked.
class LayoutLacking final : public KeyboardLayout {
public:
    explicit LayoutLacking(std::set<std::uint32_t> lacking) : lacking_(std::move(lacking)) {}
    std::vector<std::uint32_t> missing(const std::vector<std::uint32_t>& keysyms) override {
        std::lock_guard lock(mutex_);
        asked_.insert(keysyms.begin(), keysyms.end());
        std::vector<std::uint32_t> out;
        std::copy_if(keysyms.begin(), keysyms.end(), std::back_inserter(out),
                     [this](std::uint32_t keysym) { return lacking_.count(keysym) > 0; });
        return out;
    }
    std::set<std::uint32_t> asked() {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    std::mutex mutex_;
    std::set<std::uint32_t> lacking_;
    std::set<std::uint32_t> asked_;
};

TEST_F(PortalKeyboardTest, APromptTheLayoutLacksIsPastedWithTheClipboardKeyInstead) {
    auto keyboard = std::shared_ptr<PortalKeyboard>(startKeyboard());
    ASSERT_TRUE(keyboard->ready());
    auto layout = std::make_shared<LayoutLacking>(std::set<std::uint32_t>{0x10065E5}); // 日
    keyboard->setLayout(layout);
    EXPECT_TRUE(keyboard->canType("ok é"));
    EXPECT_FALSE(keyboard->canType("日本 ok"));
    // Asked once per character, by the keysym the desktop would be sent.
    EXPECT_EQ(layout->asked(),
              (std::set<std::uint32_t>{0x6F, 0x6B, 0x20, 0xE9, 0x10065E5, 0x100672C}));

    auto clock = std::make_shared<VirtualClock>();
    auto clipboard = std::make_shared<FakePasteboard>("clipboard", std::make_shared<Timeline>(clock));
    clipboard->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    Injector injector(keyboard, {clipboard}, std::make_shared<SystemClock>(),
                      {9, Modifiers::controlFlag | Modifiers::shiftFlag});
    std::vector<InjectionProblem> problems;
    injector.setOnProblem([&](InjectionProblem problem) { problems.push_back(problem); });
    Config config;
    config.injectionMethod = InjectionMethod::type;
    config.preDelayMS = 0;
    config.postDelayMS = 0;
    Rule rule;
    rule.text = "日本 ok";
    rule.hotkey = "ctrl+enter";
    injector.perform(rule, TriggerKind::send, config);
    injector.waitUntilIdle();
    EXPECT_EQ(sent(), (std::vector<Key>{{"code", 29, 1},
                                        {"code", 42, 1},
                                        {"code", 47, 1},
                                        {"code", 47, 0},
                                        {"code", 42, 0},
                                        {"code", 29, 0},
                                        {"code", 28, 1},
                                        {"code", 28, 0}}));
    EXPECT_EQ(problems, std::vector<InjectionProblem>{InjectionProblem::pastedInsteadOfTyped});
    EXPECT_EQ(clipboard->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "mine"}}}));
}

TEST_F(PortalKeyboardTest, AHeldShortcutStopsCountingAfterItsLimit) {
    held->pressed(*Hotkey::parse("ctrl+enter"));
    PortalKeyboard keyboard(client, held, bus->folder() / "token");
    EXPECT_EQ(keyboard.combinedModifierFlags(), Modifiers::controlFlag);
    EXPECT_TRUE(keyboard.isKeyDown(Injector::returnKeyCode));
    QTest::qWait(static_cast<int>(PortalHeldShortcut::limit.count()) + 50);
    EXPECT_EQ(keyboard.combinedModifierFlags(), 0u);
    EXPECT_FALSE(keyboard.isKeyDown(Injector::returnKeyCode));
}

TEST_F(PortalKeyboardTest, RefusedConsentSendsNothingAndAskingAgainCanSucceed) {
    desktop->setStartResponse(1, 0);
    auto keyboard = startKeyboard();
    ASSERT_EQ(changes, std::vector<PortalProblem>{PortalProblem::denied});
    EXPECT_FALSE(keyboard->ready());
    EXPECT_EQ(keyboard->problem(), PortalProblem::denied);
    press(*keyboard, 114, Modifiers::shiftFlag);
    type(*keyboard, u"secret");
    QTest::qWait(200);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(desktop->calls(QStringLiteral("NotifyKeyboardKeysym")).size(), 0u);
    // The refused session is not kept open.
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop->closedSessions().size() == 1; }, waitMS));
    const std::string ja =
        Portal::message(PortalProblem::denied, Portal::Feature::keyboard, Language::ja);
    EXPECT_NE(ja.find("セットアップガイド"), std::string::npos);

    // The user changes their mind.
    desktop->setStartResponse(0, PortalKeyboard::keyboardDevice);
    keyboard->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 2; }, waitMS));
    EXPECT_EQ(changes.back(), PortalProblem::none);
    press(*keyboard, Injector::returnKeyCode, 0);
    EXPECT_EQ(sent(), (std::vector<Key>{{"code", 28, 1}, {"code", 28, 0}}));
}

TEST_F(PortalKeyboardTest, AllowingASessionWithoutTheKeyboardCountsAsRefused) {
    desktop->setStartResponse(0, 2); // the pointer only
    auto keyboard = startKeyboard();
    EXPECT_EQ(changes, std::vector<PortalProblem>{PortalProblem::denied});
    EXPECT_FALSE(keyboard->ready());
}

TEST_F(PortalKeyboardTest, ASessionTheDesktopEndsStopsEveryKey) {
    auto keyboard = startKeyboard();
    ASSERT_TRUE(keyboard->ready());
    const auto sessions =
        desktop->sessions(QStringLiteral("org.freedesktop.impl.portal.RemoteDesktop"));
    ASSERT_EQ(sessions.size(), 1u);
    desktop->closeSession(sessions.front());
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 2; }, waitMS));
    EXPECT_EQ(changes.back(), PortalProblem::closed);
    EXPECT_FALSE(keyboard->ready());
    press(*keyboard, Injector::returnKeyCode, 0);
    QTest::qWait(100);
    EXPECT_TRUE(sent().empty());
}

TEST(PortalKeyboardWithoutPortal, SaysThePortalIsMissing) {
    testing::PortalBus bus;
    QDBusConnection client = bus.connect(QStringLiteral("tamsel-lonely-keyboard"));
    {
        PortalKeyboard keyboard(client, nullptr, bus.folder() / "token");
        std::vector<PortalProblem> changes;
        keyboard.onChange = [&](PortalProblem problem) { changes.push_back(problem); };
        keyboard.start();
        EXPECT_EQ(changes, std::vector<PortalProblem>{PortalProblem::missing});
        EXPECT_FALSE(keyboard.ready());
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-lonely-keyboard"));
}

// Debian 12's frontend has version 1, without persistence: version 2 is
// spoken by a frontend of our own, made from the interface's description.
class PortalKeyboardPersistenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = std::make_unique<testing::PortalBus>();
        ASSERT_FALSE(bus->address().isEmpty());
        frontend = std::make_unique<testing::FakeFrontend>(bus->address());
        ASSERT_TRUE(frontend->owned());
        client = bus->connect(QStringLiteral("tamsel-client-v2"));
        tokenFile = bus->folder() / "config" / "tamsel" / "portal-restore-token";
    }
    void TearDown() override {
        client = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-client-v2"));
        frontend.reset();
        bus.reset();
    }
    PortalProblem startOnce() {
        PortalKeyboard keyboard(client, nullptr, tokenFile);
        std::optional<PortalProblem> outcome;
        keyboard.onChange = [&](PortalProblem problem) { outcome = problem; };
        keyboard.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, waitMS));
        return outcome.value_or(PortalProblem::failed);
    }
    QVariantMap lastSelection() {
        const auto calls = frontend->calls(QStringLiteral("SelectDevices"));
        return calls.empty() ? QVariantMap() : optionsOf(calls.back(), 1);
    }

    std::unique_ptr<testing::PortalBus> bus;
    std::unique_ptr<testing::FakeFrontend> frontend;
    QDBusConnection client{QString()};
    std::filesystem::path tokenFile;
};

TEST_F(PortalKeyboardPersistenceTest, KeepsTheTokenInAPrivateFileAndAsksOnlyOnce) {
    ASSERT_EQ(startOnce(), PortalProblem::none);
    EXPECT_EQ(frontend->consentDialogs(), 1);
    EXPECT_EQ(lastSelection().value(QStringLiteral("persist_mode")).toUInt(),
              PortalKeyboard::persistUntilRevoked);
    EXPECT_FALSE(lastSelection().contains(QStringLiteral("restore_token")));
    EXPECT_EQ(PortalRestoreToken::read(tokenFile), "token-1");
    struct stat info {};
    ASSERT_EQ(::stat(tokenFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Only the token file: no configuration written beside it, no temporary left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tokenFile.parent_path()),
                            std::filesystem::directory_iterator()),
              1);

    // The next start hands the token back: no second dialog, and the new
    // token the desktop gives replaces the used one.
    ASSERT_EQ(startOnce(), PortalProblem::none);
    EXPECT_EQ(lastSelection().value(QStringLiteral("restore_token")).toString(),
              QStringLiteral("token-1"));
    EXPECT_EQ(frontend->consentDialogs(), 1);
    EXPECT_EQ(PortalRestoreToken::read(tokenFile), "token-2");
}

TEST_F(PortalKeyboardPersistenceTest, ARefusalAfterAnUnknownTokenLeavesTheFileAlone) {
    ASSERT_FALSE(PortalRestoreToken::write(tokenFile, "forgotten-by-the-desktop"));
    frontend->setStartDenied(true);
    EXPECT_EQ(startOnce(), PortalProblem::denied);
    EXPECT_EQ(frontend->consentDialogs(), 1);
    EXPECT_EQ(PortalRestoreToken::read(tokenFile), "forgotten-by-the-desktop");
}

TEST_F(PortalKeyboardPersistenceTest, RegistersTheApplicationIDWithPortalsThatKnowHow) {
    Portal::registerApplication(client);
    const auto registered = frontend->calls(QStringLiteral("Register"));
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered.front().interface, QStringLiteral("org.freedesktop.host.portal.Registry"));
    EXPECT_EQ(registered.front().arguments.value(0).toString(), QStringLiteral("io.tamsel.Tamsel"));
}

TEST(PortalRestoreToken, ReadsOnlyWhatLooksLikeAToken) {
    testing::TemporaryFolder folder;
    const auto file = PortalRestoreToken::fileFor(folder.path());
    EXPECT_EQ(file, folder.path() / ".config" / "tamsel" / "portal-restore-token");
    EXPECT_EQ(PortalRestoreToken::read(file), std::nullopt);
    ASSERT_FALSE(PortalRestoreToken::write(file, "abc-123"));
    EXPECT_EQ(PortalRestoreToken::read(file), "abc-123");
    folder.write(".config/tamsel/portal-restore-token", "two words\n");
    EXPECT_EQ(PortalRestoreToken::read(file), std::nullopt);
    folder.write(".config/tamsel/portal-restore-token", "");
    EXPECT_EQ(PortalRestoreToken::read(file), std::nullopt);
    PortalRestoreToken::remove(file);
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
} // namespace tamsel
