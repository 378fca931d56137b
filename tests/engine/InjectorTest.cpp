#include "engine/Injector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include "engine/EventTapController.h"
#include "platform/fake/FakeKeyboard.h"
#include "platform/fake/FakePasteboard.h"

using namespace tamsel;
using namespace std::chrono_literals;
using ::testing::ElementsAre;

namespace {

constexpr std::uint64_t cmd = Modifiers::commandFlag;
constexpr std::uint64_t shift = Modifiers::shiftFlag;

std::string at(Clock::Duration time) {
    char buffer[32];
    if (time.count() % 1000 == 0) {
        std::snprintf(buffer, sizeof buffer, "%lldms", static_cast<long long>(time.count() / 1000));
    } else {
        std::snprintf(buffer, sizeof buffer, "%.1fms", static_cast<double>(time.count()) / 1000);
    }
    return buffer;
}

// One line per step: "40ms down 9 flags=0x100000", "160ms general write 2".
std::string describe(const TimelineEntry& entry) {
    std::string out = at(entry.time) + " ";
    switch (entry.kind) {
    case TimelineEntry::Kind::keyDown:
    case TimelineEntry::Kind::keyUp: {
        out += entry.kind == TimelineEntry::Kind::keyDown ? "down " : "up ";
        out += std::to_string(entry.keyCode);
        if (entry.flags != 0) {
            char flags[32];
            std::snprintf(flags, sizeof flags, " flags=0x%llx",
                          static_cast<unsigned long long>(entry.flags));
            out += flags;
        }
        if (!entry.unicodeText.empty()) {
            out += " '" + entry.unicodeText + "'";
        }
        return out;
    }
    case TimelineEntry::Kind::pasteboardRead:
        return out + entry.pasteboard + " read";
    case TimelineEntry::Kind::pasteboardClear:
        return out + entry.pasteboard + " clear";
    case TimelineEntry::Kind::pasteboardSetString:
        return out + entry.pasteboard + " set '" + entry.text + "'";
    case TimelineEntry::Kind::pasteboardWrite:
        return out + entry.pasteboard + " write " + std::to_string(entry.written.size());
    }
    return out;
}

Rule makeRule(std::string text, std::optional<std::string> separator = "") {
    return Rule{"ID", "Name", true, "cmd+enter", "cmd+1", std::move(text), std::move(separator)};
}

Config makeConfig(InjectionMethod method, std::int64_t preDelayMS = Config::defaultPreDelayMS,
                  std::int64_t postDelayMS = Config::defaultPostDelayMS) {
    Config config;
    config.injectionMethod = method;
    config.preDelayMS = preDelayMS;
    config.postDelayMS = postDelayMS;
    return config;
}

class InjectorTest : public ::testing::Test {
protected:
    void inject(const Rule& rule, TriggerKind kind, const Config& config,
                const FrontWindow& target = {}) {
        injector->perform(rule, kind, config, target);
        injector->waitUntilIdle();
    }

    std::vector<std::string> steps() const {
        std::vector<std::string> out;
        for (const TimelineEntry& entry : timeline->entries()) {
            out.push_back(describe(entry));
        }
        return out;
    }

    std::vector<TimelineEntry> keyEntries() const {
        std::vector<TimelineEntry> out;
        for (const TimelineEntry& entry : timeline->entries()) {
            if (entry.isKey()) {
                out.push_back(entry);
            }
        }
        return out;
    }

    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::shared_ptr<Timeline> timeline = std::make_shared<Timeline>(clock);
    std::shared_ptr<FakeKeyboard> keyboard = std::make_shared<FakeKeyboard>(timeline);
    std::shared_ptr<FakePasteboard> general = std::make_shared<FakePasteboard>("general", timeline);
    std::shared_ptr<Injector> injector = makeInjector({general});

    std::shared_ptr<Injector> makeInjector(std::vector<std::shared_ptr<Pasteboard>> pasteboards,
                                           std::shared_ptr<FrontWindowProbe> probe = nullptr) {
        auto made = std::make_shared<Injector>(keyboard, std::move(pasteboards), clock,
                                               Injector::defaultPasteKeystroke, std::move(probe));
        made->setOnProblem([this](InjectionProblem problem) {
            std::lock_guard guard(problemMutex);
            problemList.push_back(problem);
        });
        return made;
    }
    std::vector<InjectionProblem> problems() {
        std::lock_guard guard(problemMutex);
        return problemList;
    }

    std::mutex problemMutex;
    std::vector<InjectionProblem> problemList;
};

TEST_F(InjectorTest, PasteAndSendFollowsTheDefaultTimeline) {
    general->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    inject(makeRule("Be brief.", std::nullopt), TriggerKind::send,
           makeConfig(InjectionMethod::paste));

    EXPECT_THAT(steps(),
                ElementsAre("40ms general read", "40ms general clear",
                            "40ms general set '\n\nBe brief.'", "40ms down 9 flags=0x100000",
                            "40ms up 9 flags=0x100000", "120ms down 36", "120ms up 36",
                            "160ms general clear", "160ms general write 1"));
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "mine"}}}));
    for (const TimelineEntry& entry : keyEntries()) {
        EXPECT_EQ(entry.marker, EventTapController::syntheticEventMarker);
        EXPECT_TRUE(entry.fromPrivateSource);
    }
}

TEST_F(InjectorTest, PasteWaitsAtLeastSixtyMillisecondsAfterCommandV) {
    inject(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste, 40, 0));
    EXPECT_THAT(steps(),
                ElementsAre("40ms general read", "40ms general clear", "40ms general set 'x'",
                            "40ms down 9 flags=0x100000", "40ms up 9 flags=0x100000",
                            "100ms down 36", "100ms up 36", "140ms general clear"));
}

TEST_F(InjectorTest, PasteInsertSkipsReturnButNotTheWaits) {
    inject(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::paste, 0, 200));
    EXPECT_THAT(steps(), ElementsAre("0ms general read", "0ms general clear", "0ms general set 'x'",
                                     "0ms down 9 flags=0x100000", "0ms up 9 flags=0x100000",
                                     "240ms general clear"));
    timeline->clear();
    inject(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::paste, 0, 0));
    EXPECT_EQ(steps().back(), "340ms general clear"); // 240 + 60 + 40
}

TEST_F(InjectorTest, WaitsForTheShortcutsModifiersToBeReleased) {
    keyboard->holdModifiers(cmd | shift, 23ms);
    inject(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::paste));
    // Polled at 0, 5, 10, 15, 20 and 25 ms; released at the last.
    EXPECT_EQ(keyboard->modifierReads(), 6u);
    EXPECT_EQ(steps()[0], "65ms general read");
}

TEST_F(InjectorTest, KeysStillHeldAfterOneSecondDropTheFiringWithNothingTouched) {
    general->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    keyboard->holdModifiers(Modifiers::controlFlag, std::nullopt);
    inject(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste));
    EXPECT_TRUE(timeline->entries().empty());
    EXPECT_EQ(clock->now(), Clock::Duration(1000ms));
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::keysStillHeld});

    // The shortcut's own main key counts too: until it is up our grab may
    // still hold the keyboard. Another key held does not matter.
    problemList.clear();
    keyboard->holdModifiers(0, std::nullopt);
    keyboard->holdKey(MainKeys::keyCode(MainKey::n1), std::nullopt);
    inject(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::type));
    EXPECT_TRUE(timeline->entries().empty());
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::keysStillHeld});
    problemList.clear();
    inject(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::type, 0));
    EXPECT_EQ(keyEntries().size(), 4u);
    EXPECT_TRUE(problems().empty());
}

TEST_F(InjectorTest, TriggerKeyReleasedAfterTheModifiersDelaysTheInjectionUntilItIsUp) {
    keyboard->holdModifiers(cmd, 80ms);
    keyboard->holdKey(MainKeys::keyCode(MainKey::enter), 230ms);
    const Clock::Duration start = clock->now();
    inject(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::type));
    // Polled every 5 ms: up at 230, then the 40 ms pre-delay.
    EXPECT_EQ(keyEntries().front().time - start, Clock::Duration(270ms));
}

TEST_F(InjectorTest, TypesInTwentyCharacterPiecesWithGaps) {
    const std::string text = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"; // 45
    inject(makeRule(text), TriggerKind::send, makeConfig(InjectionMethod::type));
    EXPECT_THAT(steps(), ElementsAre("40ms down 0 'abcdefghijklmnopqrst'",
                                     "40ms up 0 'abcdefghijklmnopqrst'",
                                     "41.5ms down 0 'uvwxyzABCDEFGHIJKLMN'",
                                     "41.5ms up 0 'uvwxyzABCDEFGHIJKLMN'", "43ms down 0 'OPQRS'",
                                     "43ms up 0 'OPQRS'", "124.5ms down 36", "124.5ms up 36"));
    for (const TimelineEntry& entry : keyEntries()) {
        EXPECT_EQ(entry.marker, EventTapController::syntheticEventMarker);
    }
    EXPECT_TRUE(general->contents().empty()); // typing leaves the pasteboard alone
}

TEST_F(InjectorTest, TypingFlattensLineBreaksAndNeverSplitsACharacter) {
    inject(makeRule("a\r\nb\nc\rd", std::nullopt), TriggerKind::insert,
           makeConfig(InjectionMethod::type, 0));
    EXPECT_THAT(steps(), ElementsAre("0ms down 0 '  a b c d'", "0ms up 0 '  a b c d'"));

    timeline->clear();
    // 19 letters, then a thumbs-up with a skin tone (four UTF-16 units) and
    // an e with a combining accent: the cut falls between whole characters.
    const std::string text = std::string(19, 'x') + "\U0001F44D\U0001F3FD" + "e\u0301";
    inject(makeRule(text), TriggerKind::insert, makeConfig(InjectionMethod::type, 0));
    auto keys = keyEntries();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].unicodeText, std::string(19, 'x') + "\U0001F44D\U0001F3FD");
    EXPECT_EQ(keys[2].unicodeText, "e\u0301");

    // A keyboard that plans the text itself gets all of it at once.
    timeline->clear();
    keyboard->setUnicodeStringLimit(0);
    inject(makeRule(text + text), TriggerKind::insert, makeConfig(InjectionMethod::type, 0));
    keys = keyEntries();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].unicodeText, text + text);
}

TEST_F(InjectorTest, TypingSendsReturnRightAfterTheLastPieceWithoutPostDelay) {
    inject(makeRule("hi"), TriggerKind::send, makeConfig(InjectionMethod::type, 0, 0));
    EXPECT_THAT(steps(),
                ElementsAre("0ms down 0 'hi'", "0ms up 0 'hi'", "1.5ms down 36", "1.5ms up 36"));
}

TEST_F(InjectorTest, WithoutAnyClipboardAPasteIsTypedInstead) {
    // A session with no clipboard of ours (GNOME under Wayland): the paste key
    // would paste whatever the user copied last.
    injector = makeInjector({});
    inject(makeRule("hi"), TriggerKind::send, makeConfig(InjectionMethod::paste, 0, 0));
    EXPECT_THAT(steps(),
                ElementsAre("0ms down 0 'hi'", "0ms up 0 'hi'", "1.5ms down 36", "1.5ms up 36"));
}

TEST_F(InjectorTest, APromptTheLayoutCannotTypeIsPastedInsteadAndTheClipboardComesBack) {
    // A desktop typing by keysym drops what the user's layout lacks: typing
    // would send "ok" without the Japanese.
    keyboard->setUntypableCharacters("日本");
    general->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    inject(makeRule("日本\nok"), TriggerKind::send, makeConfig(InjectionMethod::type, 0, 0));
    EXPECT_THAT(steps(), ElementsAre("0ms general read", "0ms general clear",
                                     "0ms general set '日本\nok'", "0ms down 9 flags=0x100000",
                                     "0ms up 9 flags=0x100000", "60ms down 36", "60ms up 36",
                                     "100ms general clear", "100ms general write 1"));
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "mine"}}}));
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::pastedInsteadOfTyped});

    // The question is about what typing would send: line breaks as spaces.
    timeline->clear();
    inject(makeRule("ok\r\nthen"), TriggerKind::insert, makeConfig(InjectionMethod::type, 0, 0));
    EXPECT_EQ(keyboard->lastTypeabilityQuestion(), "ok then");
    EXPECT_THAT(steps(), ElementsAre("100ms down 0 'ok then'", "100ms up 0 'ok then'"));
    EXPECT_EQ(problems().size(), 1u);
}

TEST_F(InjectorTest, WithNeitherLayoutNorClipboardNothingIsTypedAndNothingSent) {
    // Half a prompt followed by Return would send a message the user never wrote.
    injector = makeInjector({});
    keyboard->setUntypableCharacters("é");
    inject(makeRule("café"), TriggerKind::send, makeConfig(InjectionMethod::paste, 0, 0));
    EXPECT_TRUE(timeline->entries().empty());
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::charactersNotTypeable});
}

TEST_F(InjectorTest, EmptyPayloadDoesNothing) {
    general->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    inject(makeRule(""), TriggerKind::send, makeConfig(InjectionMethod::paste));
    inject(makeRule(""), TriggerKind::send, makeConfig(InjectionMethod::type));
    EXPECT_TRUE(timeline->entries().empty());
    EXPECT_EQ(keyboard->modifierReads(), 0u);
    EXPECT_EQ(clock->now(), Clock::Duration::zero());
}

TEST_F(InjectorTest, TwoTriggersNeverInterleave) {
    general->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    clock->pauseSleeps();
    injector->perform(makeRule("A"), TriggerKind::send, makeConfig(InjectionMethod::paste));
    ASSERT_TRUE(clock->waitForHeldSleepers(1, 5s)); // A is in its pre-delay
    injector->perform(makeRule("B"), TriggerKind::send, makeConfig(InjectionMethod::paste));
    clock->resumeSleeps();
    injector->waitUntilIdle();

    EXPECT_THAT(steps(),
                ElementsAre("40ms general read", "40ms general clear", "40ms general set 'A'",
                            "40ms down 9 flags=0x100000", "40ms up 9 flags=0x100000",
                            "120ms down 36", "120ms up 36", "160ms general clear",
                            "160ms general write 1", "200ms general read", "200ms general clear",
                            "200ms general set 'B'", "200ms down 9 flags=0x100000",
                            "200ms up 9 flags=0x100000", "280ms down 36", "280ms up 36",
                            "320ms general clear", "320ms general write 1"));
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "mine"}}}));
}

TEST_F(InjectorTest, ConfigurationIsTakenWhenTheShortcutFires) {
    Config config = makeConfig(InjectionMethod::paste);
    clock->pauseSleeps();
    injector->perform(makeRule("A"), TriggerKind::insert, config);
    ASSERT_TRUE(clock->waitForHeldSleepers(1, 5s));
    config.injectionMethod = InjectionMethod::type; // edited while A runs
    injector->perform(makeRule("B"), TriggerKind::insert, config);
    clock->resumeSleeps();
    injector->waitUntilIdle();
    auto all = steps();
    EXPECT_EQ(all[2], "40ms general set 'A'");
    EXPECT_EQ(all.back(), "200ms up 0 'B'");
}

TEST_F(InjectorTest, RestoresEveryItemAndTypeExactly) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    general->setContents({
        {{FakePasteboard::plainTextType, "one"},
         {"public.rtf", "{\\rtf1 one}"},
         {"com.example.lost", std::nullopt}},
        {{"public.png", png}, {FakePasteboard::plainTextType, "two"}},
    });
    inject(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste));
    // A type whose data could not be read cannot come back.
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{
                  {{FakePasteboard::plainTextType, "one"}, {"public.rtf", "{\\rtf1 one}"}},
                  {{"public.png", png}, {FakePasteboard::plainTextType, "two"}},
              }));
}

TEST_F(InjectorTest, EmptyPasteboardIsLeftEmpty) {
    inject(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::paste));
    EXPECT_TRUE(general->contents().empty());
    EXPECT_EQ(steps().back(), "160ms general clear");
}

TEST_F(InjectorTest, ClipboardThatCouldNotBeReadIsNeverClearedAfterwards) {
    general->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    general->setReturnsNoList(true);
    inject(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::paste));
    // Clearing would lose what the user had for certain; the prompt stays.
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "x"}}}));
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::clipboardUnreadable});
}

TEST_F(InjectorTest, EventsThatCannotBeMadeAreSkippedAndTheRestStillRuns) {
    keyboard->failEventCreation(36);
    general->setContents({{{FakePasteboard::plainTextType, "mine"}}});
    inject(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste));
    EXPECT_THAT(steps(),
                ElementsAre("40ms general read", "40ms general clear", "40ms general set 'x'",
                            "40ms down 9 flags=0x100000", "40ms up 9 flags=0x100000",
                            "160ms general clear", "160ms general write 1"));
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "mine"}}}));
}

TEST_F(InjectorTest, WithoutAPrivateSourceEventsAreStillPosted) {
    keyboard->failSourceCreation(true);
    auto sourceless = std::make_shared<Injector>(
        keyboard, std::vector<std::shared_ptr<Pasteboard>>{general}, clock);
    sourceless->perform(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::type));
    sourceless->waitUntilIdle();
    auto keys = keyEntries();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_FALSE(keys[0].fromPrivateSource);
    EXPECT_EQ(keys[0].unicodeText, "x");
}

TEST_F(InjectorTest, BorrowsEveryPasteboardWithTheGivenPasteKeystroke) {
    auto primary = std::make_shared<FakePasteboard>("primary", timeline);
    primary->setContents({{{"text/plain", "selected"}}});
    general->setContents({{{"text/plain", "copied"}}});
    constexpr std::uint16_t insertKey = 114;
    auto x11 = std::make_shared<Injector>(
        keyboard, std::vector<std::shared_ptr<Pasteboard>>{general, primary}, clock,
        Injector::Keystroke{insertKey, shift});
    x11->perform(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::paste, 0));
    x11->waitUntilIdle();
    EXPECT_THAT(steps(),
                ElementsAre("0ms general read", "0ms primary read", "0ms general clear",
                            "0ms general set 'x'", "0ms primary clear", "0ms primary set 'x'",
                            "0ms down 114 flags=0x20000", "0ms up 114 flags=0x20000",
                            "120ms general clear", "120ms general write 1", "120ms primary clear",
                            "120ms primary write 1"));
    EXPECT_EQ(general->contents(), (std::vector<FakePasteboard::Item>{{{"text/plain", "copied"}}}));
    EXPECT_EQ(primary->contents(),
              (std::vector<FakePasteboard::Item>{{{"text/plain", "selected"}}}));
}

// Another program copied while we pasted: its contents are newer than ours.
// Reads are scripted: the application reads at `readAt`, or never.
class ScriptedPasteboard final : public Pasteboard {
public:
    ScriptedPasteboard(std::shared_ptr<FakePasteboard> inner, std::shared_ptr<Clock> clock)
        : inner_(std::move(inner)), clock_(std::move(clock)) {}
    std::optional<std::vector<std::unique_ptr<PasteboardItem>>> items() override {
        return inner_->items();
    }
    void clearContents() override { inner_->clearContents(); }
    bool setString(std::string_view text) override { return inner_->setString(text); }
    bool writeObjects(const std::vector<PasteboardItemContents>& items) override {
        return inner_->writeObjects(items);
    }
    bool holdsWrittenContents() override { return !taken; }
    void expectReadBy(std::uint64_t window) override { expectedReaders.push_back(window); }
    bool readAsExpected() override { return readAt && clock_->now() >= *readAt; }

    bool taken = false;
    std::optional<Clock::Duration> readAt;
    std::vector<std::uint64_t> expectedReaders;

private:
    std::shared_ptr<FakePasteboard> inner_;
    std::shared_ptr<Clock> clock_;
};

class ScriptedFrontWindow final : public FrontWindowProbe {
public:
    // The window in front from the given time on (the last one that started).
    void from(Clock::Duration time, FrontWindow window) { script.emplace_back(time, window); }
    std::optional<FrontWindow> frontWindow() override {
        std::optional<FrontWindow> front;
        for (const auto& [time, window] : script) {
            if (clock->now() >= time) {
                front = window;
            }
        }
        return front;
    }
    std::shared_ptr<Clock> clock;
    std::vector<std::pair<Clock::Duration, FrontWindow>> script;
};

TEST_F(InjectorTest, LeavesAPasteboardAloneThatAnotherProgramTookMeanwhile) {
    general->setContents({{{FakePasteboard::plainTextType, "old"}}});
    auto taken = std::make_shared<ScriptedPasteboard>(general, clock);
    taken->taken = true;
    taken->readAt = 0ms;
    auto x11 = makeInjector({taken});
    x11->perform(makeRule("x"), TriggerKind::insert, makeConfig(InjectionMethod::paste, 0));
    x11->waitUntilIdle();
    EXPECT_EQ(steps().back(), "0ms up 9 flags=0x100000");
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "x"}}}));
}

TEST_F(InjectorTest, ReturnWaitsForTheTargetToReadThePaste) {
    general->setContents({{{FakePasteboard::plainTextType, "old"}}});
    auto slow = std::make_shared<ScriptedPasteboard>(general, clock);
    slow->readAt = 340ms; // 300 ms after the paste key
    auto x11 = makeInjector({slow});
    x11->perform(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste),
                 FrontWindow{77, "XTerm"});
    x11->waitUntilIdle();
    EXPECT_THAT(steps(), ElementsAre("40ms general read", "40ms general clear",
                                     "40ms general set 'x'", "40ms down 9 flags=0x100000",
                                     "40ms up 9 flags=0x100000", "340ms down 36", "340ms up 36",
                                     "380ms general clear", "380ms general write 1"));
    // Only the target's own read counts, not whoever read the change first.
    EXPECT_EQ(slow->expectedReaders, std::vector<std::uint64_t>{77});
    EXPECT_TRUE(problems().empty());
}

TEST_F(InjectorTest, PasteNobodyReadsIsNotSentButTheClipboardStillComesBack) {
    general->setContents({{{FakePasteboard::plainTextType, "old"}}});
    auto deaf = std::make_shared<ScriptedPasteboard>(general, clock);
    auto x11 = makeInjector({deaf});
    x11->perform(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste));
    x11->waitUntilIdle();
    EXPECT_THAT(steps(),
                ElementsAre("40ms general read", "40ms general clear", "40ms general set 'x'",
                            "40ms down 9 flags=0x100000", "40ms up 9 flags=0x100000",
                            "1580ms general clear", "1580ms general write 1"));
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::pasteNotRead});
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "old"}}}));
}

TEST_F(InjectorTest, TerminalsThatQuestionControlCharactersGetThemAsSpaces) {
    injector->setPlainPasteApplications({"URxvt"});
    inject(makeRule("a\tb", std::nullopt), TriggerKind::insert,
           makeConfig(InjectionMethod::paste, 0), FrontWindow{3, "URxvt"});
    EXPECT_EQ(steps()[2], "0ms general set '  a b'");
    timeline->clear();
    inject(makeRule("a\tb", std::nullopt), TriggerKind::insert,
           makeConfig(InjectionMethod::paste, 0), FrontWindow{3, "XTerm"});
    EXPECT_EQ(steps()[2], "120ms general set '\n\na\tb'");
}

TEST_F(InjectorTest, NothingLandsOutsideTheWindowTheShortcutWasPressedIn) {
    general->setContents({{{FakePasteboard::plainTextType, "old"}}});
    auto front = std::make_shared<ScriptedFrontWindow>();
    front->clock = clock;
    front->from(0ms, FrontWindow{5, "XTerm"});
    front->from(20ms, FrontWindow{6, "Firefox"}); // the user clicked away
    auto x11 = makeInjector({general}, front);
    Config config = makeConfig(InjectionMethod::paste);
    config.targetBundleIDs = {"XTerm"};
    x11->perform(makeRule("x"), TriggerKind::send, config, FrontWindow{5, "XTerm"});
    x11->waitUntilIdle();
    EXPECT_THAT(steps(), ElementsAre("40ms general read"));
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::targetLeft});

    // Another window of a targeted class is still another window; typing too.
    timeline->clear();
    problemList.clear();
    front->from(clock->now(), FrontWindow{8, "XTerm"});
    config.injectionMethod = InjectionMethod::type;
    x11->perform(makeRule("x"), TriggerKind::send, config, FrontWindow{5, "XTerm"});
    x11->waitUntilIdle();
    EXPECT_TRUE(keyEntries().empty());
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::targetLeft});

    // Focus leaving after the paste went in: the text stays, Return does not go.
    timeline->clear();
    problemList.clear();
    const Clock::Duration start = clock->now();
    front->from(start, FrontWindow{5, "XTerm"});
    front->from(start + 60ms, FrontWindow{6, "Firefox"});
    x11->perform(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste),
                 FrontWindow{5, "XTerm"});
    x11->waitUntilIdle();
    auto keys = keyEntries();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].keyCode, 9);
    EXPECT_EQ(problems(), std::vector<InjectionProblem>{InjectionProblem::targetLeft});
    EXPECT_EQ(general->contents(),
              (std::vector<FakePasteboard::Item>{{{FakePasteboard::plainTextType, "old"}}}));

    // The window it was pressed in, still in front: everything goes.
    timeline->clear();
    problemList.clear();
    front->from(clock->now(), FrontWindow{5, "XTerm"});
    x11->perform(makeRule("x"), TriggerKind::send, makeConfig(InjectionMethod::paste),
                 FrontWindow{5, "XTerm"});
    x11->waitUntilIdle();
    EXPECT_EQ(keyEntries().size(), 4u);
    EXPECT_TRUE(problems().empty());
}

} // namespace
