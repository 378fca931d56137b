#include "engine/EventTapController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/fake/FakeAccessibility.h"
#include "platform/fake/FakeEventTap.h"
#include "platform/fake/FakeMainQueue.h"

using namespace tamsel;
using namespace std::chrono_literals;
using State = EventTapController::State;

namespace {

constexpr std::uint16_t enterKey = 36;
constexpr std::uint16_t keypadEnterKey = 76;
constexpr std::uint16_t oneKey = 18;
constexpr std::uint16_t aKey = 0;
constexpr std::uint64_t cmd = Modifiers::commandFlag;
constexpr std::uint64_t shift = Modifiers::shiftFlag;
constexpr std::uint64_t option = Modifiers::optionFlag;
constexpr std::uint64_t control = Modifiers::controlFlag;
constexpr std::uint64_t capsLock = 0x10000;
constexpr std::uint64_t function = 0x800000;
constexpr std::uint64_t numericPad = 0x200000;
constexpr std::uint64_t rightCommandDevice = 0x10;

Rule makeRule(std::string name, std::string hotkey, std::string insertHotkey) {
    return Rule{name + "-ID",      name,        true, std::move(hotkey), std::move(insertHotkey),
                "Text of " + name, std::nullopt};
}

Config makeConfig(std::vector<std::string> targets = {"Terminal"}) {
    Config config;
    config.targetBundleIDs = std::move(targets);
    config.rules = {makeRule("Rules", "cmd+enter", "cmd+1"),
                    makeRule("Plan", "cmd+shift+enter", "cmd+2"),
                    makeRule("Alone", "enter", "ctrl+enter")};
    return config;
}

TapEvent keyDown(std::uint64_t flags, std::uint16_t keyCode, std::int64_t userData = 0) {
    return TapEvent{TapEventType::keyDown, keyCode, flags, userData, std::nullopt};
}

struct Fired {
    std::string ruleName;
    TriggerKind kind;
    Config config;
    std::uint64_t thread;
    FrontWindow target{};
};

class EventTapControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        controller->setOnTrigger([this](const Rule& rule, TriggerKind kind, const Config& config,
                                        const FrontWindow& window) {
            // Handlers run outside both locks, so they may call back in.
            (void)controller->snapshot();
            (void)controller->state();
            std::lock_guard guard(firedMutex);
            fired.push_back({rule.name, kind, config, currentThreadSerial(), window});
        });
        controller->setOnStateChange([this](State state) {
            (void)controller->state(); // would deadlock if a lock were held
            states.push_back(state);
            stateThreads.push_back(currentThreadSerial());
        });
    }

    void TearDown() override {
        if (controller) {
            controller->stop();
        }
    }

    std::shared_ptr<FakeEventTap> startRunning(std::size_t tapIndex = 0) {
        controller->start();
        auto tap = taps->waitForRunningTap(tapIndex, 5s);
        EXPECT_NE(tap, nullptr);
        return tap;
    }

    std::vector<Fired> firings() {
        std::lock_guard guard(firedMutex);
        return fired;
    }

    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::shared_ptr<FakeMainQueue> mainQueue = std::make_shared<FakeMainQueue>(clock);
    std::shared_ptr<FakeAccessibility> accessibility = std::make_shared<FakeAccessibility>(true);
    std::shared_ptr<FakeEventTapService> taps = std::make_shared<FakeEventTapService>();
    std::shared_ptr<EventTapController> controller =
        std::make_shared<EventTapController>(taps, accessibility, mainQueue);

    std::mutex firedMutex;
    std::vector<Fired> fired;
    std::vector<State> states;
    std::vector<std::uint64_t> stateThreads;
};

TEST_F(EventTapControllerTest, SnapshotWritesKeepTheOtherHalf) {
    controller->updateFrontmostBundleID("Terminal");
    Config config = makeConfig();
    controller->updateConfig(config);
    auto snapshot = controller->snapshot();
    EXPECT_TRUE(snapshot->enabled);
    EXPECT_EQ(snapshot->config, config);
    EXPECT_EQ(snapshot->index, TriggerIndex(config.rules));
    EXPECT_EQ(snapshot->frontmostBundleID, "Terminal");

    controller->updateFrontmostBundleID(std::nullopt);
    snapshot = controller->snapshot();
    EXPECT_EQ(snapshot->config, config);
    EXPECT_FALSE(snapshot->frontmostBundleID);

    config.enabled = false;
    controller->updateConfig(config);
    EXPECT_FALSE(controller->snapshot()->enabled);
}

TEST_F(EventTapControllerTest, MatchIsSwallowedAndReportedOnTheTapThread) {
    Config config = makeConfig();
    controller->updateConfig(config);
    controller->updateFrontmostBundleID("Terminal");
    auto tap = startRunning();

    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);
    EXPECT_EQ(tap->deliver(keyDown(cmd, oneKey)), TapVerdict::consume);
    // Auto-repeat is not filtered: a held shortcut fires again.
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);

    auto got = firings();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].ruleName, "Rules");
    EXPECT_EQ(got[0].kind, TriggerKind::send);
    EXPECT_EQ(got[0].config, config);
    EXPECT_EQ(got[1].ruleName, "Rules");
    EXPECT_EQ(got[1].kind, TriggerKind::insert);
    for (const Fired& f : got) {
        EXPECT_EQ(f.thread, tap->creationThread());
        EXPECT_NE(f.thread, currentThreadSerial());
    }
}

TEST_F(EventTapControllerTest, MatchWithoutHandlerIsStillSwallowed) {
    auto bare = std::make_shared<EventTapController>(taps, accessibility, mainQueue);
    bare->updateConfig(makeConfig({}));
    bare->start();
    auto tap = taps->waitForRunningTap(0, 5s);
    ASSERT_NE(tap, nullptr);
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);
    EXPECT_EQ(tap->deliver(keyDown(cmd, aKey)), TapVerdict::passThrough);
    bare->stop();
}

TEST_F(EventTapControllerTest, OnlyKeyDownsWithoutTheMarkerAreLookedAt) {
    controller->updateConfig(makeConfig({}));
    auto tap = startRunning();

    TapEvent other = keyDown(cmd, enterKey);
    other.type = TapEventType::other;
    EXPECT_EQ(tap->deliver(other), TapVerdict::passThrough);
    // Our own paste or typing never fires a shortcut, whatever it spells.
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey, EventTapController::syntheticEventMarker)),
              TapVerdict::passThrough);
    // Only the exact marker counts.
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey, EventTapController::syntheticEventMarker + 1)),
              TapVerdict::consume);
    EXPECT_EQ(firings().size(), 1u);
}

// Only a key-down whose modifier set and main key a rule owns exactly is
// swallowed, and the rule that owns it fires.
TEST_F(EventTapControllerTest, OnlyAnExactShortcutOfARuleIsSwallowed) {
    controller->updateConfig(makeConfig({}));
    auto tap = startRunning();
    struct Case {
        std::uint64_t flags;
        std::uint16_t key;
        const char* rule; // none: the key passes through
        TriggerKind kind = TriggerKind::send;
    };
    const Case cases[] = {
        // No modifier, or only flags that are not modifiers, even though a
        // rule names plain "enter".
        {0, enterKey, nullptr},
        {capsLock, enterKey, nullptr},
        {function, enterKey, nullptr},
        {numericPad, enterKey, nullptr},
        {capsLock | function | rightCommandDevice, enterKey, nullptr},
        // Not one of the main keys.
        {cmd, aKey, nullptr},
        {cmd, 127, nullptr},
        {cmd, 400, nullptr},
        // A modifier set that no rule owns for the key: the set must be exact.
        {cmd, 49, nullptr},
        {cmd | option, enterKey, nullptr},
        {shift, enterKey, nullptr},
        {cmd | shift | control, enterKey, nullptr},
        {cmd | shift, enterKey, "Plan"},
        {control, enterKey, "Alone", TriggerKind::insert},
        // Bits beside the four modifiers are ignored, not counted as extra.
        {cmd | capsLock | rightCommandDevice, enterKey, "Rules"},
        {cmd | numericPad, keypadEnterKey, "Rules"},
    };
    for (const Case& c : cases) {
        const std::size_t before = firings().size();
        EXPECT_EQ(tap->deliver(keyDown(c.flags, c.key)),
                  c.rule ? TapVerdict::consume : TapVerdict::passThrough)
            << "flags " << c.flags << " key " << c.key;
        const auto got = firings();
        ASSERT_EQ(got.size(), before + (c.rule ? 1 : 0));
        if (c.rule) {
            EXPECT_EQ(got.back().ruleName, c.rule);
            EXPECT_EQ(got.back().kind, c.kind);
        }
    }
}

TEST_F(EventTapControllerTest, FiresOnlyInTargetedApplications) {
    controller->updateConfig(makeConfig({"Terminal", "Code"}));
    auto tap = startRunning();

    controller->updateFrontmostBundleID("Firefox");
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);
    controller->updateFrontmostBundleID("terminal");
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);
    controller->updateFrontmostBundleID(std::nullopt);
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);
    controller->updateFrontmostBundleID("Code");
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);

    // An empty list targets everything, even an unknown frontmost application.
    controller->updateConfig(makeConfig({}));
    controller->updateFrontmostBundleID(std::nullopt);
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);
    EXPECT_EQ(firings().size(), 2u);
}

TEST_F(EventTapControllerTest, WhereTheFrontApplicationCannotBeKnownTargetsDoNotApply) {
    controller->updateConfig(makeConfig({"Terminal", "Code"}));
    controller->setFrontmostKnowable(false);
    auto tap = startRunning();
    EXPECT_TRUE(controller->firesIn(std::nullopt));
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);
    EXPECT_EQ(firings().size(), 1u);

    controller->setFrontmostKnowable(true);
    EXPECT_FALSE(controller->firesIn(std::nullopt));
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);
}

TEST_F(EventTapControllerTest, WindowTheTapSawAtKeyDownOutranksTheReportedApplication) {
    controller->updateConfig(makeConfig({"Terminal"}));
    auto tap = startRunning();
    auto inWindow = [](std::uint64_t id, std::optional<std::string> application) {
        TapEvent event = keyDown(cmd, enterKey);
        event.frontWindow = FrontWindow{id, std::move(application)};
        return event;
    };

    // The main thread has not yet heard that the terminal lost the focus.
    controller->updateFrontmostBundleID("Terminal");
    EXPECT_EQ(tap->deliver(inWindow(7, "Firefox")), TapVerdict::passThrough);
    EXPECT_EQ(tap->deliver(inWindow(0, std::nullopt)), TapVerdict::passThrough);
    // Nor that it gained it.
    controller->updateFrontmostBundleID("Firefox");
    EXPECT_EQ(tap->deliver(inWindow(9, "Terminal")), TapVerdict::consume);
    // A tap that cannot tell falls back on what was reported.
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);

    const auto all = firings();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].target, (FrontWindow{9, "Terminal"}));
}

TEST_F(EventTapControllerTest, DisabledConfigurationOrEmptyIndexPassesEverything) {
    Config config = makeConfig({});
    config.enabled = false;
    controller->updateConfig(config);
    auto tap = startRunning();
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);

    config.enabled = true;
    config.rules.clear();
    controller->updateConfig(config);
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);

    // Rules whose text is blank hold no shortcut either.
    config.rules = {makeRule("Blank", "cmd+enter", "cmd+1")};
    config.rules[0].text = "  \n";
    controller->updateConfig(config);
    EXPECT_EQ(tap->deliver(keyDown(cmd, enterKey)), TapVerdict::passThrough);
    EXPECT_TRUE(firings().empty());
}

TEST_F(EventTapControllerTest, TapLearnsTheWatchedShortcuts) {
    Config config = makeConfig({});
    controller->updateConfig(config);
    auto tap = startRunning();
    ASSERT_TRUE(tap->waitForWatchedReads(1, 5s));
    std::vector<Hotkey> expected;
    for (const char* text : {"ctrl+enter", "cmd+enter", "cmd+1", "cmd+2", "cmd+shift+enter"}) {
        expected.push_back(*Hotkey::parse(text));
    }
    auto watched = tap->watched();
    std::sort(watched.begin(), watched.end(),
              [](const Hotkey& a, const Hotkey& b) { return a.stringValue() < b.stringValue(); });
    std::sort(expected.begin(), expected.end(),
              [](const Hotkey& a, const Hotkey& b) { return a.stringValue() < b.stringValue(); });
    EXPECT_EQ(watched, expected);

    config.rules = {makeRule("Only", "cmd+=", "")};
    controller->updateConfig(config);
    ASSERT_TRUE(tap->waitForWatchedReads(2, 5s));
    EXPECT_EQ(tap->watched(), std::vector<Hotkey>{*Hotkey::parse("cmd+=")});

    // Paused: nothing is worth grabbing.
    config.enabled = false;
    controller->updateConfig(config);
    ASSERT_TRUE(tap->waitForWatchedReads(3, 5s));
    EXPECT_TRUE(tap->watched().empty());
}

TEST_F(EventTapControllerTest, DisabledTapIsReenabledWithoutAStateChange) {
    auto tap = startRunning();
    EXPECT_EQ(mainQueue->runPending(), 1u);
    EXPECT_TRUE(tap->isEnabled());
    const std::size_t enables = tap->enableCalls();

    tap->setEnabled(false); // what the system does before telling us
    EXPECT_EQ(tap->deliver({TapEventType::tapDisabledByTimeout, 0, 0, 0, std::nullopt}),
              TapVerdict::consume);
    EXPECT_TRUE(tap->isEnabled());
    tap->setEnabled(false);
    EXPECT_EQ(tap->deliver({TapEventType::tapDisabledByUserInput, 0, 0, 0, std::nullopt}),
              TapVerdict::consume);
    EXPECT_TRUE(tap->isEnabled());
    EXPECT_EQ(tap->enableCalls(), enables + 2);

    EXPECT_EQ(mainQueue->pendingCount(), 0u);
    EXPECT_EQ(controller->state(), State::running);
    EXPECT_EQ(states, std::vector<State>{State::running});
}

TEST_F(EventTapControllerTest, StateChangesArriveOncePerChangeInOrderOnTheMainQueue) {
    startRunning(0);
    controller->stop();
    controller->stop();
    EXPECT_TRUE(states.empty()); // nothing is called before the main queue runs
    startRunning(1);

    EXPECT_EQ(mainQueue->runPending(), 3u);
    EXPECT_EQ(states, (std::vector<State>{State::running, State::stopped, State::running}));
    for (std::uint64_t thread : stateThreads) {
        EXPECT_EQ(thread, currentThreadSerial());
    }
}

TEST_F(EventTapControllerTest, StateChangeAfterTheControllerIsGoneDoesNothing) {
    startRunning();
    controller->stop();
    controller.reset();
    EXPECT_EQ(mainQueue->runPending(), 2u);
    EXPECT_TRUE(states.empty());
}

TEST_F(EventTapControllerTest, UntrustedStartIsDeniedWithoutAThread) {
    accessibility->setTrusted(false);
    controller->start();
    EXPECT_EQ(controller->state(), State::permissionDenied);
    EXPECT_FALSE(controller->hasThread());
    EXPECT_EQ(taps->creationAttempts(), 0u);

    accessibility->setTrusted(true);
    startRunning();
    EXPECT_EQ(mainQueue->runPending(), 2u);
    EXPECT_EQ(states, (std::vector<State>{State::permissionDenied, State::running}));
}

TEST_F(EventTapControllerTest, FailedTapCreationIsDeniedAndCanBeRetried) {
    taps->setFailCreation(true);
    controller->start();
    ASSERT_TRUE(mainQueue->waitForPending(1, 5s));
    EXPECT_EQ(controller->state(), State::permissionDenied);
    EXPECT_FALSE(controller->hasThread());

    taps->setFailCreation(false);
    auto tap = startRunning();
    EXPECT_EQ(mainQueue->runPending(), 2u);
    EXPECT_EQ(states, (std::vector<State>{State::permissionDenied, State::running}));
    EXPECT_EQ(taps->creationAttempts(), 2u);
}

TEST_F(EventTapControllerTest, TwoQuickStartsMakeOneThread) {
    taps->holdCreation();
    controller->start();
    ASSERT_TRUE(taps->waitForCreationAttempts(1, 5s));
    EXPECT_TRUE(controller->hasThread());
    controller->start(); // a thread exists, not yet running
    taps->releaseCreation();
    auto tap = taps->waitForRunningTap(0, 5s);
    ASSERT_NE(tap, nullptr);
    controller->start(); // running

    EXPECT_EQ(taps->creationAttempts(), 1u);
    EXPECT_EQ(taps->tapsCreated(), 1u);
    EXPECT_EQ(mainQueue->runPending(), 1u);
}

TEST_F(EventTapControllerTest, StopThenStartMakesAFreshThreadAndTap) {
    controller->updateConfig(makeConfig({}));
    auto first = startRunning(0);
    controller->stop();
    EXPECT_FALSE(controller->hasThread());
    EXPECT_FALSE(first->isEnabled());
    EXPECT_EQ(first->deliver(keyDown(cmd, enterKey)), std::nullopt);

    auto second = startRunning(1);
    EXPECT_NE(second, first);
    EXPECT_NE(second->creationThread(), first->creationThread());
    EXPECT_EQ(second->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);
    EXPECT_EQ(taps->tapsCreated(), 2u);

    const std::uint64_t firstThread = first->creationThread();
    first.reset();
    EXPECT_TRUE(taps->waitForTapDestroyed(0, 5s));
    ASSERT_EQ(firings().size(), 1u);
    EXPECT_NE(firings()[0].thread, firstThread);
}

TEST_F(EventTapControllerTest, StopDuringTapCreationLeavesNoTapBehind) {
    controller->updateConfig(makeConfig({}));
    taps->holdCreation();
    controller->start();
    ASSERT_TRUE(taps->waitForCreationAttempts(1, 5s));
    controller->stop();
    taps->releaseCreation();

    // The late tap is dropped instead of running unseen beside the next one.
    EXPECT_TRUE(taps->waitForTapDestroyed(0, 5s));
    EXPECT_EQ(controller->state(), State::stopped);
    EXPECT_EQ(mainQueue->runPending(), 0u);

    auto tap = startRunning(1);
    EXPECT_EQ(taps->deliver(keyDown(cmd, enterKey)), TapVerdict::consume);
    EXPECT_EQ(firings().size(), 1u);
}

TEST_F(EventTapControllerTest, DestroyingARunningControllerEndsItsTapAndThread) {
    auto tap = startRunning();
    controller.reset();
    EXPECT_TRUE(tap->hasEnded());
    EXPECT_FALSE(tap->isEnabled());
    tap.reset();
    EXPECT_EQ(taps->tap(0), nullptr);
}

TEST_F(EventTapControllerTest, SnapshotSwapsRaceSafelyWithKeyDowns) {
    controller->updateFrontmostBundleID("Terminal");
    controller->updateConfig(makeConfig());
    auto tap = startRunning();

    std::atomic<bool> done{false};
    std::thread writer([&] {
        Config config = makeConfig();
        for (int i = 0; i < 200 && !done; ++i) {
            config.enabled = i % 2 == 0;
            controller->updateConfig(config);
            controller->updateFrontmostBundleID(i % 3 == 0 ? "Other" : "Terminal");
        }
    });
    std::size_t consumed = 0;
    for (int i = 0; i < 300; ++i) {
        auto verdict = tap->deliver(keyDown(cmd, enterKey));
        ASSERT_TRUE(verdict);
        consumed += *verdict == TapVerdict::consume;
    }
    done = true;
    writer.join();
    EXPECT_EQ(firings().size(), consumed);
}

} // namespace

namespace {

TEST_F(EventTapControllerTest, RefusedShortcutsReachTheMainQueueOnlyWhenTheListChanges) {
    std::vector<std::vector<Hotkey>> heard;
    controller->setOnUnavailableHotkeys(
        [&heard](std::vector<Hotkey> hotkeys) { heard.push_back(std::move(hotkeys)); });
    const Hotkey taken = *Hotkey::parse("cmd+1");

    controller->watchedHotkeysUnavailable({}); // all grabbed from the start: nothing to say
    controller->watchedHotkeysUnavailable({taken});
    controller->watchedHotkeysUnavailable({taken}); // a regrab with the same outcome
    EXPECT_TRUE(heard.empty());                     // only ever on the main queue
    mainQueue->runPending();
    controller->watchedHotkeysUnavailable({}); // the other client let go
    mainQueue->runPending();
    EXPECT_EQ(heard, (std::vector<std::vector<Hotkey>>{{taken}, {}}));
}

} // namespace
