#include "app/AppModel.h"

#include <gtest/gtest.h>

#include "core/config/ConfigCodec.h"
#include "tests/support/FakeAppServices.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using namespace std::chrono_literals;
using tamsel::testing::readFile;
using tamsel::testing::TemporaryFolder;
using tamsel::testing::writeFile;
using State = EventTapController::State;

namespace {

Config storedConfig() {
    Config config;
    config.targetBundleIDs = {"XTerm"};
    config.rules = {{"A", "Alpha", true, "cmd+enter", "cmd+1", "Alpha text", std::nullopt},
                    {"B", "Beta", true, "ctrl+enter", "cmd+2", "Beta text", std::nullopt},
                    {"C", "Gamma", true, "", "cmd+3", "Gamma text", std::nullopt}};
    return config;
}

// Every text the injector put on the pasteboard, in order.
std::vector<std::string> textsPasted(const Timeline& timeline) {
    std::vector<std::string> texts;
    for (const TimelineEntry& entry : timeline.entries()) {
        if (entry.kind == TimelineEntry::Kind::pasteboardSetString) {
            texts.push_back(entry.text);
        }
        for (const PasteboardItemContents& item : entry.written) {
            for (const auto& [type, data] : item) {
                if (type == FakePasteboard::plainTextType) {
                    texts.push_back(data);
                }
            }
        }
    }
    return texts;
}

// Moves the file's modification time on, as a later edit by another program would.
void touchLater(const std::filesystem::path& path) {
    auto time = std::filesystem::last_write_time(path);
    std::filesystem::last_write_time(path, time + 10s);
}

class AppModelTest : public ::testing::Test, protected tamsel::testing::FakeAppServices {
protected:
    void SetUp() override { writeFile(file, ConfigCodec::encode(storedConfig())); }
    void TearDown() override {
        if (model) {
            model->tap()->stop();
        }
    }

    std::shared_ptr<AppModel> makeModel() {
        model = makeAppModel(file);
        subscription = model->subscribe([this] { ++notifications; });
        return model;
    }

    std::string fileBytes() const { return readFile(file); }

    TemporaryFolder home;
    std::filesystem::path file = home / "config.json";
    std::shared_ptr<AppModel> model;
    Subscription subscription;
    int notifications = 0;
};

} // namespace

TEST_F(AppModelTest, ConstructionLoadsPushesAndDoesNotStart) {
    workspace->frontmost = "XTerm";
    workspace->languages = {"ja-JP"};
    makeModel();
    EXPECT_EQ(model->config(), storedConfig());
    EXPECT_EQ(model->language(), Language::ja);
    EXPECT_FALSE(model->loadError());
    EXPECT_TRUE(model->accessibilityGranted());
    EXPECT_FALSE(model->showsSetupGuide());
    EXPECT_EQ(model->tapState(), State::stopped);
    EXPECT_EQ(taps->creationAttempts(), 0u);
    auto snapshot = tap->snapshot();
    EXPECT_TRUE(snapshot->enabled);
    EXPECT_EQ(snapshot->config, storedConfig());
    EXPECT_EQ(snapshot->frontmostBundleID, "XTerm");
    ASSERT_NE(snapshot->index.match(*Hotkey::parse("ctrl+enter")), nullptr);
    EXPECT_EQ(model->runState(), AppModel::RunState::notWatching);
}

TEST_F(AppModelTest, EditsInABurstSaveOnceAfterTheLast) {
    makeModel();
    const std::string before = fileBytes();
    model->updateRule("A", [](Rule& rule) { rule.name = "Alpha 2"; });
    mainQueue->advance(200ms);
    model->updateRule("A", [](Rule& rule) { rule.name = "Alpha 3"; });
    EXPECT_TRUE(model->hasPendingSave());
    mainQueue->advance(399ms);
    EXPECT_EQ(fileBytes(), before);
    mainQueue->advance(1ms);
    EXPECT_FALSE(model->hasPendingSave());
    Config expected = storedConfig();
    expected.rules[0].name = "Alpha 3";
    EXPECT_EQ(fileBytes(), ConfigCodec::encode(expected));
    // The tap learnt of each edit at once.
    EXPECT_EQ(tap->snapshot()->config.rules[0].name, "Alpha 3");
}

TEST_F(AppModelTest, EditsThatChangeNothingPublishAndSaveNothing) {
    makeModel();
    model->mutate([](Config& config) { config.preDelayMS = 900; });
    EXPECT_EQ(model->config().preDelayMS, 500);
    mainQueue->advance(1s);
    const std::string saved = fileBytes();
    const int seen = notifications;
    model->mutate([](Config& config) { config.preDelayMS = 800; }); // clamps to 500 again
    model->moveRule("A", -1);
    model->moveRule("C", +1);
    model->moveRule("missing", +1);
    model->deleteRule("missing");
    model->updateRule("missing", [](Rule& rule) { rule.name = "x"; });
    model->updateRule("B", [](Rule& rule) { rule.name = "Beta"; });
    model->setEnabled(true);
    EXPECT_EQ(notifications, seen);
    EXPECT_FALSE(model->hasPendingSave());
    EXPECT_EQ(fileBytes(), saved);
}

TEST_F(AppModelTest, NamedEdits) {
    makeModel();
    model->moveRule("A", +1);
    EXPECT_EQ(model->config().rules[0].id, "B");
    EXPECT_EQ(model->config().rules[1].id, "A");
    model->deleteRule("C");
    EXPECT_EQ(model->config().rules.size(), 2u);
    Rule added = model->appendRule("New", "Text");
    EXPECT_EQ(added.hotkey, "shift+cmd+enter");
#ifdef __APPLE__
    EXPECT_EQ(added.insertHotkey, "cmd+3");
#else
    // The fixture's rules hold Super digits, which Linux never suggests.
    EXPECT_EQ(added.insertHotkey, "ctrl+opt+1");
#endif
    EXPECT_EQ(added.id.size(), 36u);
    EXPECT_TRUE(added.enabled);
    EXPECT_FALSE(added.separator);
    EXPECT_EQ(model->config().rules.back(), added);
    model->setLanguagePreference(LanguagePreference::ja);
    EXPECT_EQ(model->language(), Language::ja);
    model->setEnabled(false);
    EXPECT_FALSE(tap->snapshot()->enabled);
}

TEST_F(AppModelTest, ExternalEditWaitsForAPendingSaveAndIsThenOverwritten) {
    makeModel();
    model->setEnabled(false);
    Config outside = storedConfig();
    outside.rules.pop_back();
    writeFile(file, ConfigCodec::encode(outside));
    touchLater(file);
    model->reloadIfChangedExternally();
    EXPECT_EQ(model->config().rules.size(), 3u);
    EXPECT_FALSE(model->notice());
    mainQueue->advance(400ms);
    Config expected = storedConfig();
    expected.enabled = false;
    EXPECT_EQ(fileBytes(), ConfigCodec::encode(expected));
}

TEST_F(AppModelTest, DifferingExternalEditReloadsAndShowsANoticeForThreeSeconds) {
    makeModel();
    Config outside = storedConfig();
    outside.language = LanguagePreference::ja;
    outside.rules[0].hotkey = "cmd+9";
    writeFile(file, ConfigCodec::encode(outside));
    touchLater(file);
    model->reloadIfChangedExternally();
    EXPECT_EQ(model->config(), outside);
    EXPECT_EQ(model->language(), Language::ja);
    EXPECT_NE(tap->snapshot()->index.match(*Hotkey::parse("cmd+9")), nullptr);
    EXPECT_EQ(model->notice(), "設定ファイルから読み込み直しました。");
    EXPECT_FALSE(model->hasPendingSave()); // a reload writes nothing
    mainQueue->advance(2999ms);
    EXPECT_TRUE(model->notice());
    mainQueue->advance(1ms);
    EXPECT_FALSE(model->notice());

    // The same configuration again: no notice.
    touchLater(file);
    model->reloadIfChangedExternally();
    EXPECT_FALSE(model->notice());
}

TEST_F(AppModelTest, DamagedReloadKeepsTheConfigurationAndReportsIt) {
    makeModel();
    writeFile(file, "{ broken");
    touchLater(file);
    model->reloadIfChangedExternally();
    ASSERT_TRUE(model->loadError());
    EXPECT_TRUE(model->loadError()->starts_with("The given data was not valid JSON."));
    EXPECT_EQ(model->config(), storedConfig());
    EXPECT_TRUE(model->loadErrorKeptConfig());
    EXPECT_EQ(fileBytes(), "{ broken");
    // Repaired by hand: the error clears.
    writeFile(file, ConfigCodec::encode(storedConfig()));
    touchLater(file);
    model->reloadIfChangedExternally();
    EXPECT_FALSE(model->loadError());
}

TEST_F(AppModelTest, FailedSaveIsReportedAndClearedByTheNextSuccess) {
    makeModel();
    std::filesystem::remove(file);
    std::filesystem::create_directory(file); // nothing can replace a folder
    model->setEnabled(false);
    mainQueue->advance(400ms);
    ASSERT_TRUE(model->saveError());
    std::filesystem::remove(file);
    model->setEnabled(true);
    model->flushPendingSave();
    EXPECT_FALSE(model->saveError());
    EXPECT_FALSE(model->hasPendingSave());
    EXPECT_EQ(fileBytes(), ConfigCodec::encode(storedConfig()));
}

TEST_F(AppModelTest, AccessibilityStartsAndStopsTheTap) {
    accessibility->setTrusted(false);
    makeModel();
    EXPECT_TRUE(model->showsSetupGuide());
    EXPECT_EQ(model->runState(), AppModel::RunState::permissionDenied);
    EXPECT_EQ(model->runStateLabel(), StringKey::statusNoPermission);

    accessibility->setTrusted(true);
    model->refreshAccessibility();
    EXPECT_TRUE(model->accessibilityGranted());
    EXPECT_FALSE(model->showsSetupGuide());
    ASSERT_TRUE(taps->waitForRunningTap(0, 5s));
    ASSERT_TRUE(mainQueue->waitForPending(1, 5s));
    mainQueue->runPending();
    EXPECT_EQ(model->tapState(), State::running);
    EXPECT_EQ(model->runState(), AppModel::RunState::active);

    model->setEnabled(false);
    EXPECT_EQ(model->runState(), AppModel::RunState::paused); // the tap keeps running
    EXPECT_EQ(tap->state(), State::running);
    model->setEnabled(true);

    accessibility->setTrusted(false);
    model->refreshAccessibility();
    EXPECT_EQ(tap->state(), State::stopped);
    mainQueue->runPending();
    EXPECT_EQ(model->runState(), AppModel::RunState::permissionDenied);
}

TEST_F(AppModelTest, AFiringInjectsAndIsShownOnTheMainThread) {
    makeModel();
    workspace->frontmost = "XTerm";
    tap->updateFrontmostBundleID("XTerm");
    model->refreshAccessibility();
    auto fakeTap = taps->waitForRunningTap(0, 5s);
    ASSERT_TRUE(fakeTap);
    auto verdict = fakeTap->deliver(
        TapEvent{TapEventType::keyDown, 19, Modifiers::commandFlag, 0, std::nullopt});
    ASSERT_TRUE(verdict);
    EXPECT_EQ(*verdict, TapVerdict::consume);
    injector->waitUntilIdle();
    EXPECT_EQ(pasteboard->contents().size(), 0u); // given back as it was: empty
    ASSERT_TRUE(mainQueue->waitForPending(1, 5s));
    mainQueue->runPending();
    EXPECT_EQ(model->lastFired(), (AppModel::LastFired{"Beta", TriggerKind::insert}));

    // A tap that outlives its model injects nothing.
    timeline->clear();
    subscription.cancel();
    model.reset();
    verdict = fakeTap->deliver(
        TapEvent{TapEventType::keyDown, 19, Modifiers::commandFlag, 0, std::nullopt});
    injector->waitUntilIdle();
    EXPECT_TRUE(timeline->entries().empty());
    mainQueue->runPending();
    tap->stop();
}

TEST_F(AppModelTest, SecureInputAndContactPage) {
    makeModel();
    const int seen = notifications;
    model->refreshSecureInput();
    EXPECT_EQ(notifications, seen); // unchanged: nothing published
    secureInputStatus = SecureInputStatus{"Terminal"};
    model->refreshSecureInput();
    EXPECT_EQ(model->secureInput(), secureInputStatus);
    EXPECT_EQ(notifications, seen + 1);
    model->setSecureInputProbe([] { return std::optional<SecureInputStatus>(); });
    model->refreshSecureInput();
    EXPECT_FALSE(model->secureInput());

    model->openContactPage();
    ASSERT_EQ(workspace->openedURLs.size(), 1u);
    EXPECT_EQ(workspace->openedURLs[0],
              "https://tamsel.app/?from=app&v=" TAMSEL_VERSION "&os=6.1#contact");
    model->openAccessibilitySettings();
    EXPECT_EQ(accessibility->prompts(), 1u);
    EXPECT_EQ(workspace->accessibilitySettingsOpened, 1);
}

TEST_F(AppModelTest, FirstRunWithoutFileWritesDefaults) {
    std::filesystem::remove(file);
    workspace->languages = {"fr-FR", "ja-JP"};
    makeModel();
    EXPECT_EQ(model->config().rules.size(), 3u);
    EXPECT_EQ(model->config().rules[0].name, "ルール厳守");
    EXPECT_EQ(fileBytes(), ConfigCodec::encode(model->config()));
}

TEST_F(AppModelTest, ShortcutsAnotherProgramHoldsAreShownInTheCurrentLanguage) {
    makeModel();
    EXPECT_FALSE(model->unavailableHotkeysMessage());
    const int seen = notifications;
    model->tap()->watchedHotkeysUnavailable(
        {*Hotkey::parse("cmd+1"), *Hotkey::parse("ctrl+enter")});
    mainQueue->runPending();
    EXPECT_EQ(notifications, seen + 1);
    EXPECT_EQ(model->unavailableHotkeys().size(), 2u);
    EXPECT_EQ(model->unavailableHotkeysMessage(),
              Strings::unavailableShortcuts(
                  {Hotkey::parse("cmd+1")->displayString(platformKeyNaming),
                   Hotkey::parse("ctrl+enter")->displayString(platformKeyNaming)},
                  Language::en));
    model->setLanguagePreference(LanguagePreference::ja);
    EXPECT_EQ(model->unavailableHotkeysMessage(),
              Strings::unavailableShortcuts(
                  {Hotkey::parse("cmd+1")->displayString(platformKeyNaming),
                   Hotkey::parse("ctrl+enter")->displayString(platformKeyNaming)},
                  Language::ja));

    model->tap()->watchedHotkeysUnavailable({});
    mainQueue->runPending();
    EXPECT_FALSE(model->unavailableHotkeysMessage());
}

TEST_F(AppModelTest, UnreadableFileAtStartFallsBackToDefaultsAndSaysSo) {
    writeFile(file, "{ broken");
    makeModel();
    ASSERT_TRUE(model->loadError());
    EXPECT_FALSE(model->loadErrorKeptConfig());
}

TEST_F(AppModelTest, DeletedPromptComesBackWhereItStoodUntilTheOfferLapses) {
    makeModel();
    model->deleteRule("B");
    ASSERT_TRUE(model->recentlyDeleted());
    EXPECT_EQ(model->recentlyDeleted()->index, 1u);
    model->undoDelete();
    EXPECT_EQ(model->config(), storedConfig());
    EXPECT_FALSE(model->recentlyDeleted());
    mainQueue->advance(1s);
    EXPECT_EQ(fileBytes(), ConfigCodec::encode(storedConfig()));

    // The list grew shorter meanwhile: the prompt goes last.
    model->deleteRule("C");
    model->deleteRule("B");
    model->deleteRule("A");
    model->undoDelete(); // only the last deletion is offered
    ASSERT_EQ(model->config().rules.size(), 1u);
    EXPECT_EQ(model->config().rules[0].id, "A");

    // Back from the file before the undo: no second copy.
    model->deleteRule("A");
    mainQueue->advance(1s); // saved, so that the file's edit is taken
    writeFile(file, ConfigCodec::encode(storedConfig()));
    touchLater(file);
    model->reloadIfChangedExternally();
    model->undoDelete();
    EXPECT_EQ(model->config(), storedConfig());

    // Left alone, the offer lapses and the deletion stays.
    model->deleteRule("C");
    mainQueue->advance(std::chrono::milliseconds(AppModel::undoDurationMS));
    EXPECT_FALSE(model->recentlyDeleted());
    model->undoDelete();
    EXPECT_EQ(model->config().rules.size(), 2u);
    // Deleting what is not there offers nothing.
    model->deleteRule("nothing");
    EXPECT_FALSE(model->recentlyDeleted());
}

TEST_F(AppModelTest, AFiringHandedOverIsCheckedAsAShortcutWouldBe) {
    makeModel();
    auto reply = [&](std::string prompt, std::optional<FrontWindow> front = std::nullopt,
                     TriggerKind kind = TriggerKind::send) {
        return model->fire({kind, std::move(prompt)}, front);
    };
    const FrontWindow xterm{42, "XTerm"};
    const FrontWindow browser{43, "Firefox"};

    EXPECT_EQ(reply("9").reason,
              FireCommand::declineReason(FireDecline::unknownPrompt, "9", Language::en));
    EXPECT_EQ(reply("2", browser).reason,
              FireCommand::declineReason(FireDecline::notTarget, "Beta", Language::en));
    // A probe that could not tell leaves the application unknown: not a target.
    EXPECT_FALSE(reply("2", FrontWindow{}).fired);
    model->updateRule("B", [](Rule& rule) { rule.text = "  "; });
    EXPECT_EQ(reply("B", xterm).reason,
              FireCommand::declineReason(FireDecline::promptEmpty, "Beta", Language::en));
    model->updateRule("C", [](Rule& rule) { rule.enabled = false; });
    EXPECT_EQ(reply("3", xterm).reason,
              FireCommand::declineReason(FireDecline::promptOff, "Gamma", Language::en));
    model->setEnabled(false);
    EXPECT_EQ(reply("1", xterm).reason,
              FireCommand::declineReason(FireDecline::paused, "Alpha", Language::en));
    model->setEnabled(true);
    accessibility->setTrusted(false);
    model->refreshAccessibility();
    EXPECT_EQ(reply("1", xterm).reason,
              FireCommand::declineReason(FireDecline::noKeyboard, "Alpha", Language::en));
    accessibility->setTrusted(true);
    model->refreshAccessibility();
    injector->waitUntilIdle();
    EXPECT_TRUE(timeline->entries().empty()) << "a declined firing touched the keyboard";

    // Fired: by position into the target in front, as "Append Only".
    EXPECT_EQ(reply("1", xterm, TriggerKind::insert), (FireReply{true, {}}));
    injector->waitUntilIdle();
    EXPECT_EQ(textsPasted(*timeline), std::vector<std::string>{"\n\nAlpha text"});
    EXPECT_EQ(model->lastFired(), (AppModel::LastFired{"Alpha", TriggerKind::insert}));
}

TEST_F(AppModelTest, WithoutAFrontWindowTheTargetListCannotApply) {
    makeModel();
    EXPECT_TRUE(model->fire({TriggerKind::send, "A"}, std::nullopt).fired);
    injector->waitUntilIdle();
    EXPECT_EQ(textsPasted(*timeline), std::vector<std::string>{"\n\nAlpha text"});
}

TEST_F(AppModelTest, APasteInsteadOfTypingIsToldOnceARun) {
    makeModel();
    model->mutate([](Config& config) { config.injectionMethod = InjectionMethod::type; });
    model->updateRule("A", [](Rule& rule) { rule.text = "α and ω"; });
    keyboard->setUntypableCharacters("α");
    const FrontWindow xterm{42, "XTerm"};
    auto fireAndSettle = [&] {
        ASSERT_TRUE(model->fire({TriggerKind::insert, "A"}, xterm).fired);
        injector->waitUntilIdle();
        mainQueue->runPending();
    };
    const std::string told =
        Strings::injectionProblem(InjectionProblem::pastedInsteadOfTyped, Language::en);
    fireAndSettle();
    EXPECT_EQ(model->notice(), told);
    model->dismissNotice();
    fireAndSettle();
    EXPECT_FALSE(model->notice()) << "the same fallback was told twice";
    EXPECT_EQ(textsPasted(*timeline), (std::vector<std::string>{"\n\nα and ω", "\n\nα and ω"}));
}
