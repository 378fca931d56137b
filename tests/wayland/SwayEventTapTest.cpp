#include "platform/wayland/SwayEventTap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/support/SwaySession.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

// Watches one shortcut and fires only in windows of the "target" application.
class Client final : public EventTapClient {
public:
    TapVerdict handleTapEvent(const TapEvent& event) override {
        std::lock_guard lock(mutex);
        events.push_back(event);
        return TapVerdict::consume;
    }
    std::vector<Hotkey> watchedHotkeys() const override { return {*Hotkey::parse("cmd+shift+enter")}; }
    bool firesIn(const std::optional<std::string>& application) const override {
        return application == "target";
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return events.size();
    }

    std::mutex mutex;
    std::vector<TapEvent> events;
};

class SwayEventTapTest : public ::testing::Test {
protected:
    void SetUp() override {
        sway.enter();
        for (const char* app : {"other", "target"}) {
            windows.push_back(sway.startCatWindow(app));
        }
        auto service = SwayEventTapService(focus);
        tap = service.createTap(client);
        ASSERT_TRUE(tap);
        thread = std::thread([this] { tap->run(); });
    }
    void TearDown() override {
        if (tap) {
            tap->stop();
        }
        if (thread.joinable()) {
            thread.join();
        }
    }
    void chord() {
        // wtype's keyboard is new each time: its layout must reach sway first.
        ChildProcess({"wtype", "-s", "150", "-M", "logo", "-M", "shift", "-k", "Return", "-m", "shift", "-m",
                      "logo"},
                     sway.environment())
            .waitForExit(5s);
    }
    void typeText(const std::string& text) {
        ChildProcess({"wtype", "-s", "150", text}, sway.environment()).waitForExit(5s);
    }
    std::string typedInto(const char* app) { return sway.typedInto(app); }
    void focusOn(const char* app) {
        ChildProcess({"swaymsg", std::string("[app_id=") + app + "] focus"}, sway.environment(),
                     "/dev/null")
            .waitForExit(5s);
        ASSERT_TRUE(sway.waitForFocus(app));
    }

    SwaySession sway;
    std::vector<std::unique_ptr<ChildProcess>> windows;
    std::shared_ptr<SwayFocus> focus = std::make_shared<SwayFocus>();
    Client client;
    std::shared_ptr<EventTap> tap;
    std::thread thread;
};

} // namespace

TEST_F(SwayEventTapTest, FiresInTargetsAndPassesTheChordThroughElsewhere) {
    ASSERT_TRUE(waitUntil([&] { return focus->application() == "target"; }));
    typeText("a");
    chord();
    typeText("b");
    ASSERT_TRUE(waitUntil([&] { return client.count() == 1; }));
    {
        std::lock_guard lock(client.mutex);
        EXPECT_EQ(client.events[0].keyCode, 36);
        EXPECT_EQ(Modifiers::fromEventFlags(client.events[0].flags),
                  Modifiers::command | Modifiers::shift);
    }
    // Swallowed: the target saw only the letters around it.
    ASSERT_TRUE(waitUntil([&] { return typedInto("target") == "ab"; })) << typedInto("target");

    focusOn("other");
    ASSERT_TRUE(waitUntil([&] { return focus->application() == "other"; }));
    typeText("c");
    chord();
    typeText("d");
    // Not ours to take: the window got the chord between the letters (foot
    // writes Shift+Super+Return as the escape sequence "\e[27;10;13~").
    ASSERT_TRUE(waitUntil([&] { return typedInto("other").find('d') != std::string::npos; }))
        << typedInto("other");
    EXPECT_EQ(typedInto("other"), "c\x1b[27;10;13~d");
    EXPECT_EQ(client.count(), 1U);

    focusOn("target");
    chord();
    EXPECT_TRUE(waitUntil([&] { return client.count() == 2; }));
}

TEST(SwayChord, NamesModifiersAndTheKeysSymbols) {
    EXPECT_EQ(SwayEventTap::chord(*Hotkey::parse("cmd+shift+enter"), "Return"), "Shift+Mod4+Return");
    EXPECT_EQ(SwayEventTap::chord(*Hotkey::parse("ctrl+opt+1"), "1"), "Control+Mod1+1");
    EXPECT_EQ(SwayEventTap::keysymNames(MainKey::enter), (std::vector<std::string>{"Return", "KP_Enter"}));
    EXPECT_EQ(SwayEventTap::keysymNames(MainKey::n0), std::vector<std::string>{"0"});
    EXPECT_EQ(SwayEventTap::keysymNames(MainKey::n9), std::vector<std::string>{"9"});
    EXPECT_EQ(SwayEventTap::keysymNames(MainKey::quote), std::vector<std::string>{"apostrophe"});
}
