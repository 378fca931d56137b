#include "platform/portal/PortalClipboard.h"

#include <future>
#include <map>

#include <gtest/gtest.h>

#include <QTest>

#include "engine/InjectionText.h"
#include "engine/Injector.h"
#include "platform/Clock.h"
#include "platform/portal/PortalKeyboard.h"
#include "platform/portal/PortalRequest.h"
#include "tests/portal/FakeClipboardFrontend.h"
#include "tests/portal/PortalBus.h"

namespace tamsel {
namespace {

using testing::ClipboardContents;
using testing::FakeClipboardFrontend;

constexpr int waitMS = 10000;
const QString utf8Text = QStringLiteral("text/plain;charset=utf-8");

class PortalClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = std::make_unique<testing::PortalBus>();
        ASSERT_FALSE(bus->address().isEmpty());
        frontend = std::make_unique<FakeClipboardFrontend>(bus->address());
        ASSERT_TRUE(frontend->owned());
        client = bus->connect(QStringLiteral("tamsel-clipboard-client"));
    }
    void TearDown() override {
        injector.reset();
        clipboard.reset();
        keyboard.reset();
        client = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-clipboard-client"));
        frontend.reset();
        bus.reset();
    }

    // The keyboard's session (asking for the clipboard), the clipboard on
    // it and an injector pasting with Ctrl+Shift+V.
    void start() {
        keyboard = std::make_shared<PortalKeyboard>(client, nullptr, bus->folder() / "token");
        keyboard->askForClipboard();
        bool answered = false;
        keyboard->onChange = [&](PortalProblem) { answered = true; };
        keyboard->start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, waitMS));
        ASSERT_TRUE(keyboard->ready());
        keyboard->onChange = nullptr;
        clipboard = std::make_shared<PortalClipboard>(client, keyboard);
        injector = std::make_unique<Injector>(
            keyboard, std::vector<std::shared_ptr<Pasteboard>>{clipboard},
            std::make_shared<SystemClock>(),
            Injector::Keystroke{9, Modifiers::controlFlag | Modifiers::shiftFlag});
        injector->setOnProblem([this](InjectionProblem problem) {
            std::lock_guard lock(problemsMutex);
            problems.push_back(problem);
        });
    }

    // Pastes `text` and waits, with this thread's event loop running (the
    // portal's signals come here), until the injector is done.
    void paste(const std::string& text) {
        Config config;
        config.preDelayMS = 0;
        config.postDelayMS = 0;
        injector->perform(rule(text), TriggerKind::insert, config);
        auto idle = std::async(std::launch::async, [this] { injector->waitUntilIdle(); });
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return idle.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            waitMS));
    }

    static Rule rule(const std::string& text) {
        Rule rule;
        rule.name = "Prompt";
        rule.text = text;
        return rule;
    }

    // What the session serves for each type, as applications would get it
    // (the answers may finish in any order).
    std::map<QString, std::optional<QByteArray>> served(const QStringList& types) {
        const std::size_t before = frontend->transfers().size();
        for (const QString& type : types) {
            frontend->requestFromSession(type);
        }
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return frontend->transfers().size() == before + types.size(); }, waitMS));
        const auto all = frontend->transfers();
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }

    // Another application copies, and the session has heard of it: the
    // portal's signal goes out before the answer to a call of ours, so it
    // waits among this thread's events once the call returns.
    void copyElsewhere(ClipboardContents contents, bool silent = false) {
        frontend->copyElsewhere(std::move(contents), silent);
        Portal::version(client, QStringLiteral("org.freedesktop.portal.Clipboard"));
        QCoreApplication::sendPostedEvents();
    }

    std::vector<InjectionProblem> reported() {
        std::lock_guard lock(problemsMutex);
        return problems;
    }

    std::size_t callIndex(const QString& member) {
        const auto calls = frontend->calls();
        for (std::size_t at = 0; at < calls.size(); ++at) {
            if (calls[at].member == member) {
                return at;
            }
        }
        return calls.size();
    }

    std::unique_ptr<testing::PortalBus> bus;
    std::unique_ptr<FakeClipboardFrontend> frontend;
    QDBusConnection client{QString()};
    std::shared_ptr<PortalKeyboard> keyboard;
    std::shared_ptr<PortalClipboard> clipboard;
    std::unique_ptr<Injector> injector;
    std::mutex problemsMutex;
    std::vector<InjectionProblem> problems;
};

const ClipboardContents userContents{
    {QStringLiteral("text/html"), QByteArray("<b>copied</b>")},
    {utf8Text, QByteArray("copied")},
    {QStringLiteral("image/png"), QByteArray("\x89PNG\r\n\x1a\n\0\0\xff", 11)},
};

TEST_F(PortalClipboardTest, PastesThePromptAndGivesTheUsersContentsBackInEveryType) {
    start();
    copyElsewhere(userContents);
    // The clipboard is asked for on the session, after its devices and before Start.
    const auto requested = frontend->calls(QStringLiteral("RequestClipboard"));
    ASSERT_EQ(requested.size(), 1u);
    EXPECT_EQ(requested.front().arguments.value(0).value<QDBusObjectPath>().path(),
              frontend->session());
    EXPECT_LT(callIndex(QStringLiteral("SelectDevices")),
              callIndex(QStringLiteral("RequestClipboard")));
    EXPECT_LT(callIndex(QStringLiteral("RequestClipboard")), callIndex(QStringLiteral("Start")));
    ASSERT_TRUE(clipboard->available());

    paste("Hello, 世界");
    EXPECT_TRUE(reported().empty());
    // The front application got the prompt on its paste key; clipboard
    // histories were told to leave it out.
    const auto transfers = frontend->transfers();
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers.front().second, QByteArray::fromStdString(rule("Hello, 世界").payload()));
    const auto offers = frontend->offers();
    ASSERT_EQ(offers.size(), 2u);
    EXPECT_TRUE(offers[0].contains(utf8Text));
    EXPECT_TRUE(offers[0].contains(QStringLiteral("x-kde-passwordManagerHint")));
    // Then the user's contents again, every type in its order, byte for byte.
    const QStringList userTypes{QStringLiteral("text/html"), utf8Text, QStringLiteral("image/png")};
    EXPECT_EQ(offers[1], userTypes);
    EXPECT_TRUE(frontend->sessionOwns());
    const auto back = served(userTypes);
    for (const auto& [type, data] : userContents) {
        EXPECT_EQ(back.at(type), data) << type.toStdString();
    }
    // A type we do not hold gets a refusal, not an empty answer.
    EXPECT_EQ(served({QStringLiteral("text/uri-list")}).begin()->second, std::nullopt);

    // Our own contents are read without asking the portal.
    const std::size_t reads = frontend->calls(QStringLiteral("SelectionRead")).size();
    paste("again");
    EXPECT_EQ(frontend->calls(QStringLiteral("SelectionRead")).size(), reads);
    EXPECT_EQ(frontend->offers().back(), userTypes);
}

TEST_F(PortalClipboardTest, WhatTheUserCopiesDuringThePasteIsLeftAlone) {
    start();
    copyElsewhere(userContents);
    frontend->copyElsewhereOnPaste({{utf8Text, QByteArray("newer")}});
    paste("prompt");
    EXPECT_EQ(frontend->transfers().size(), 1u);
    EXPECT_EQ(frontend->offers().size(), 1u) << "the newer copy was overwritten";
    EXPECT_FALSE(frontend->sessionOwns());
    EXPECT_FALSE(clipboard->holdsWrittenContents());
}

TEST_F(PortalClipboardTest, ACopyTheDesktopReportedBeforeTakingOurSelectionIsNoReasonToKeepIt) {
    start();
    copyElsewhere(userContents);
    frontend->copyElsewhereBeforeNextOffer({{utf8Text, QByteArray("superseded")}});
    paste("prompt");
    ASSERT_EQ(frontend->offers().size(), 2u) << "the user's contents were not given back";
    EXPECT_EQ(frontend->offers().back().size(), static_cast<qsizetype>(userContents.size()));
    EXPECT_TRUE(clipboard->holdsWrittenContents());
}

TEST_F(PortalClipboardTest, EmptyOrUnannouncedClipboards) {
    // Emptied by its owner: given back empty, and the prompt is no longer served.
    start();
    copyElsewhere({});
    paste("prompt");
    EXPECT_TRUE(reported().empty());
    ASSERT_EQ(frontend->offers().size(), 2u);
    EXPECT_TRUE(frontend->offers().back().isEmpty());
    EXPECT_EQ(served({utf8Text}).at(utf8Text), std::nullopt);

    // Text copied before the session knew of it is still kept.
    frontend->copyElsewhere({{utf8Text, QByteArray("older")}}, false, false);
    clipboard = std::make_shared<PortalClipboard>(client, keyboard);
    injector = std::make_unique<Injector>(
        keyboard, std::vector<std::shared_ptr<Pasteboard>>{clipboard},
        std::make_shared<SystemClock>(),
        Injector::Keystroke{9, Modifiers::controlFlag | Modifiers::shiftFlag});
    paste("prompt");
    EXPECT_EQ(frontend->offers().back(), QStringList{utf8Text});
    EXPECT_EQ(served({utf8Text}).at(utf8Text), QByteArray("older"));
}

TEST_F(PortalClipboardTest, AnOwnerThatNeverAnswersEndsInTheTimeLimit) {
    start();
    copyElsewhere(userContents, true);
    const auto began = std::chrono::steady_clock::now();
    paste("prompt");
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, PortalClipboard::captureLimit);
    EXPECT_LT(took, PortalClipboard::captureLimit + std::chrono::milliseconds(2500));
    EXPECT_EQ(reported(), std::vector<InjectionProblem>{InjectionProblem::clipboardUnreadable});
    // The paste went ahead; nothing was "given back" over the owner's data.
    EXPECT_EQ(frontend->transfers().size(), 1u);
    EXPECT_EQ(frontend->offers().size(), 1u);
}

TEST_F(PortalClipboardTest, WithoutTheClipboardPromptsAreTyped) {
    for (const bool offered : {false, true}) {
        SCOPED_TRACE(offered ? "the desktop withholds it" : "the portal has no Clipboard");
        frontend->setClipboard(offered, false);
        start();
        EXPECT_EQ(frontend->calls(QStringLiteral("RequestClipboard")).size(), offered ? 1u : 0u);
        EXPECT_FALSE(clipboard->available());
        EXPECT_TRUE(keyboard->clipboardSession().isEmpty());
        paste("ok");
        EXPECT_TRUE(frontend->offers().empty());
        EXPECT_TRUE(frontend->calls(QStringLiteral("SelectionRead")).empty());
        const std::string typed = InjectionText::flattenForTyping(rule("ok").payload());
        EXPECT_EQ(frontend->calls(QStringLiteral("NotifyKeyboardKeysym")).size(), 2 * typed.size());
        EXPECT_TRUE(frontend->calls(QStringLiteral("NotifyKeyboardKeycode")).empty());
        injector.reset();
        clipboard.reset();
        keyboard.reset();
        TearDown();
        SetUp();
    }
}

} // namespace
} // namespace tamsel
