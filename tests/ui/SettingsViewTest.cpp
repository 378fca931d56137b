#include "ui/SettingsView.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/SegmentedControl.h"

using namespace tamsel;
using namespace tamsel::testing;

namespace {

class SettingsViewTest : public ::testing::Test, protected PopoverFixture {
protected:
    void openSettings() {
        QTest::mouseClick(find<QToolButton>("openSettings"), Qt::LeftButton);
        pump();
        ASSERT_EQ(view->page(), PopoverView::Page::settings);
    }
};

TEST_F(SettingsViewTest, SteppersStopAtTheirEndsInStepsOfTen) {
    struct Case {
        const char* stepper;
        std::int64_t start;
        Qt::Key key;
        std::vector<std::int64_t> expected; // after each press
        std::int64_t Config::*field;
    };
    const Case cases[] = {
        {"preDelay", 480, Qt::Key_Up, {490, 500, 500}, &Config::preDelayMS},
        {"preDelay", 20, Qt::Key_Down, {10, 0, 0}, &Config::preDelayMS},
        {"postDelay", 980, Qt::Key_Up, {990, 1000, 1000}, &Config::postDelayMS},
        {"postDelay", 10, Qt::Key_Down, {0, 0}, &Config::postDelayMS},
    };
    for (const Case& c : cases) {
        start({});
        model->mutate([&](Config& config) { config.*c.field = c.start; });
        openSettings();
        auto* stepper = find<QSpinBox>(c.stepper);
        ASSERT_NE(stepper, nullptr);
        EXPECT_EQ(stepper->value(), c.start);
        for (std::int64_t expected : c.expected) {
            QTest::keyClick(stepper, c.key);
            pump();
            EXPECT_EQ(model->config().*c.field, expected) << c.stepper << " from " << c.start;
        }
        view.reset();
        model->tap()->stop();
    }
}

TEST_F(SettingsViewTest, TargetApplicationsAreTheTrimmedNonEmptyLines) {
    start({});
    openSettings();
    auto* targets = find<QPlainTextEdit>("targetApps");
    ASSERT_NE(targets, nullptr);
    EXPECT_EQ(targets->toPlainText().split('\n').size(),
              qsizetype(model->config().targetBundleIDs.size()));

    targets->setFocus();
    QTest::keyClick(targets, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(targets, Qt::Key_Delete);
    pump();
    EXPECT_TRUE(model->config().targetBundleIDs.empty()); // every application

    QTest::keyClicks(targets, "com.apple.Terminal");
    QTest::keyClick(targets, Qt::Key_Return);
    QTest::keyClick(targets, Qt::Key_Return);
    QTest::keyClicks(targets, "  com.googlecode.iterm2  ");
    pump();
    EXPECT_EQ(model->config().targetBundleIDs,
              (std::vector<std::string>{"com.apple.Terminal", "com.googlecode.iterm2"}));
    // What the user typed stays as typed.
    EXPECT_EQ(targets->toPlainText(), "com.apple.Terminal\n\n  com.googlecode.iterm2  ");
}

TEST(TargetListTest, SplitsTrimsAndKeepsOrderAndDuplicates) {
    struct Case {
        const char* text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", {}},
        {"\n \n\t\n", {}},
        {"XTerm\n\n  kitty  ", {"XTerm", "kitty"}},
        {"kitty\nkitty", {"kitty", "kitty"}},
        {"a b\n", {"a b"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(targetListFromText(QString::fromUtf8(c.text)), c.expected) << c.text;
    }
}

TEST_F(SettingsViewTest, TypingMethodShowsItsNote) {
    start({});
    openSettings();
    auto* method = find<SegmentedControl>("injectionMethod");
    const QString note = qtText(StringKey::injectionTypeNote, Language::en);
    EXPECT_FALSE(visibleTexts(view.get()).contains(note));
    QTest::mouseClick(method->segment(1), Qt::LeftButton);
    pump();
    EXPECT_EQ(model->config().injectionMethod, InjectionMethod::type);
    EXPECT_TRUE(visibleTexts(view.get()).contains(note));
    QTest::mouseClick(method->segment(0), Qt::LeftButton);
    pump();
    EXPECT_EQ(model->config().injectionMethod, InjectionMethod::paste);
    EXPECT_FALSE(visibleTexts(view.get()).contains(note));
}

// Texts of the table whose two languages differ, in English.
QStringList englishOnlyTexts() {
    QStringList texts;
    for (StringKey key : allStringKeys) {
        const auto pair = Strings::texts(key);
        if (pair.en != pair.ja) {
            texts << qtText(pair.en);
        }
    }
    return texts;
}

TEST_F(SettingsViewTest, LanguageSwitchChangesEveryVisibleText) {
    struct Case {
        const char* page;
        std::function<void(AppModel&)> open;
    };
    const Case cases[] = {
        {"settings", [](AppModel&) {}},
        {"list", [](AppModel& m) { m.setShowsSettings(false); }},
        {"expanded",
         [](AppModel& m) {
             m.setShowsSettings(false);
             m.setExpandedRuleID(m.config().rules.front().id);
         }},
        {"setup", [](AppModel& m) { m.setShowsSetupGuide(true); }},
    };
    const QStringList english = englishOnlyTexts();
    for (const Case& c : cases) {
        start({makeRule("A", "Plan", "cmd+1", "", "")});
        openSettings();
        auto* language = find<SegmentedControl>("language");
        QTest::mouseClick(language->segment(1), Qt::LeftButton); // English
        pump();
        c.open(*model);
        pump();
        int englishShown = 0;
        for (const QString& text : visibleTexts(view.get())) {
            englishShown += english.contains(text) ? 1 : 0;
        }
        EXPECT_GE(englishShown, 2) << c.page;

        model->setLanguagePreference(LanguagePreference::ja);
        pump();
        for (const QString& text : visibleTexts(view.get())) {
            EXPECT_FALSE(english.contains(text)) << c.page << ": " << text.toStdString();
        }
        view.reset();
        model->tap()->stop();
    }
}

TEST_F(SettingsViewTest, ButtonsReachTheModelAndTheDesktop) {
    start({});
    std::vector<std::string> calls;
    SettingsActions actions;
    bool loginEnabled = false;
    actions.launchAtLogin = [&] { return loginEnabled; };
    actions.setLaunchAtLogin = [&](bool) -> std::optional<std::string> {
        return "The autostart folder is read-only.";
    };
    actions.openFile = [&](const std::filesystem::path& p) {
        calls.push_back("open " + p.filename().string());
    };
    actions.quit = [&] { calls.push_back("quit"); };
    view->setSettingsActions(actions);
    int labOpened = 0;
    model->onOpenPromptLab = [&] { ++labOpened; };
    openSettings();

    // A refused login item springs back and says why.
    auto* login = find<QCheckBox>("launchAtLogin");
    QTest::mouseClick(login, Qt::LeftButton, {}, QPoint(6, login->height() / 2));
    pump();
    EXPECT_FALSE(find<QCheckBox>("launchAtLogin")->isChecked());
    EXPECT_TRUE(visibleTexts(view.get()).contains("The autostart folder is read-only."));

    // A pending save is written before the file is opened.
    model->mutate([](Config& c) { c.preDelayMS = 120; });
    EXPECT_TRUE(model->hasPendingSave());
    QTest::mouseClick(find<QPushButton>("openConfigFile"), Qt::LeftButton);
    EXPECT_FALSE(model->hasPendingSave());
    EXPECT_NE(readFile(file).find("120"), std::string::npos);
    QTest::mouseClick(find<QToolButton>("quitApp"), Qt::LeftButton);
    EXPECT_EQ(calls, (std::vector<std::string>{"open config.json", "quit"}));

    QTest::mouseClick(find<QPushButton>("labOpen"), Qt::LeftButton);
    pump();
    EXPECT_EQ(labOpened, 1);
    EXPECT_EQ(view->page(), PopoverView::Page::list);

    // The setup guide shows even with permission, and says it is granted.
    openSettings();
    QTest::mouseClick(find<QToolButton>("showSetupGuide"), Qt::LeftButton);
    pump();
    EXPECT_EQ(view->page(), PopoverView::Page::setup);
    EXPECT_TRUE(find<QLabel>("setupGranted")->isVisibleTo(view.get()));
    QTest::keyClick(find<QPushButton>("setupOpenButton"), Qt::Key_Return);
    EXPECT_EQ(workspace->accessibilitySettingsOpened, 1);
}

} // namespace

namespace {

// The commands a desktop's own shortcut settings need, copied whole, and
// still naming the same prompt after the list is reordered.
TEST_F(SettingsViewTest, CommandsForDesktopShortcutsAreCopiedWholeAndFollowThePrompt) {
    start({makeRule("first-id", "First", "cmd+1"), makeRule("it's second", "Second", "cmd+2")});
    openSettings();
    std::vector<std::string> copied;
    SettingsActions actions;
    actions.commandProgram = [] { return std::string("/opt/my tools/tamsel"); };
    actions.copyText = [&copied](const std::string& text) { copied.push_back(text); };
    view->findChild<SettingsView*>()->setActions(actions);
    pump();

    auto commands = [&] {
        QStringList texts;
        for (QLabel* label : view->findChildren<QLabel*>("fireCommandText")) {
            texts << label->text();
        }
        return texts;
    };
    EXPECT_EQ(commands(),
              (QStringList{"'/opt/my tools/tamsel' --fire first-id --send",
                           "'/opt/my tools/tamsel' --fire first-id --insert",
                           "'/opt/my tools/tamsel' --fire 'it'\\''s second' --send",
                           "'/opt/my tools/tamsel' --fire 'it'\\''s second' --insert"}));

    auto buttons = view->findChildren<QPushButton*>("copyFireCommand");
    ASSERT_EQ(buttons.size(), 4);
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_EQ(copied, std::vector<std::string>{"'/opt/my tools/tamsel' --fire 'it'\\''s second' --send"});
    EXPECT_EQ(buttons[2]->text(), "Copied");
    EXPECT_EQ(buttons[0]->text(), "Copy");
    EXPECT_TRUE(QTest::qWaitFor([&] { return buttons[2]->text() == "Copy"; }, 3000));

    model->moveRule("it's second", -1);
    pump();
    EXPECT_EQ(commands().front(), "'/opt/my tools/tamsel' --fire 'it'\\''s second' --send");

    // Where the session cannot tell the application in front, the page says
    // the commands go wherever the focus is.
    auto* anyWindow = find<QLabel>("fireCommandsAnyWindow");
    ASSERT_NE(anyWindow, nullptr);
    EXPECT_FALSE(anyWindow->isVisible());
    model->setSessionPlan(SessionPlan::choose({true, false, false, true, true}));
    pump();
    EXPECT_TRUE(anyWindow->isVisible());
}

} // namespace
