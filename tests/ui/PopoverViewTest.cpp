#include "ui/PopoverView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/ElidedLabel.h"
#include "ui/HotkeyEditor.h"
#include "ui/IssueLabel.h"
#include "ui/PromptListView.h"
#include "ui/RowButton.h"
#include "ui/RuleEditorView.h"
#include "ui/RuleRowView.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

class PopoverViewTest : public ::testing::Test, protected PopoverFixture {
protected:
    PromptListView* list() const { return dynamic_cast<PromptListView*>(view->pageView()); }
    RuleRowView* row(const std::string& id) const { return list()->row(id); }
    void clickRow(const std::string& id) {
        QTest::mouseClick(row(id)->summary(), Qt::LeftButton);
        pump();
    }
    const Rule& rule(std::size_t index) const { return model->config().rules.at(index); }
};

TEST_F(PopoverViewTest, AddingAPromptOpensItInTheEditor) {
    start({});
    ASSERT_NE(find<QLabel>("noPrompts"), nullptr);
    EXPECT_TRUE(find<QLabel>("noPrompts")->isVisible());

    QTest::mouseClick(find<QToolButton>("addPrompt"), Qt::LeftButton);
    pump();

    ASSERT_EQ(model->config().rules.size(), 1u);
    EXPECT_EQ(model->expandedRuleID(), rule(0).id);
    EXPECT_NE(row(rule(0).id)->editor(), nullptr);
    EXPECT_FALSE(find<QLabel>("noPrompts")->isVisible());
}

TEST_F(PopoverViewTest, OpeningOneRowClosesTheOther) {
    start({makeRule("A", "First", "cmd+1"), makeRule("B", "Second", "cmd+2")});
    clickRow("A");
    EXPECT_EQ(model->expandedRuleID(), "A");
    EXPECT_NE(row("A")->editor(), nullptr);

    clickRow("B");
    EXPECT_EQ(model->expandedRuleID(), "B");
    EXPECT_EQ(row("A")->editor(), nullptr);
    EXPECT_NE(row("B")->editor(), nullptr);

    clickRow("B");
    EXPECT_EQ(model->expandedRuleID(), std::nullopt);
    EXPECT_EQ(row("B")->editor(), nullptr);
}

TEST_F(PopoverViewTest, DeletingTheOpenPromptClosesTheEditorFirst) {
    start({makeRule("A", "First", "cmd+1"), makeRule("B", "Second", "cmd+2")});
    clickRow("B");
    // What the model looked like just before each change.
    std::vector<std::pair<bool, std::size_t>> before;
    Subscription watch = model->subscribe([&] {
        before.emplace_back(model->expandedRuleID().has_value(), model->config().rules.size());
    });

    std::unique_ptr<QMenu> menu(row("B")->makeContextMenu(nullptr));
    menu->actions().back()->trigger();
    pump();

    ASSERT_GE(before.size(), 2u);
    EXPECT_EQ(before[0], std::make_pair(true, std::size_t{2}));  // closing comes first
    EXPECT_EQ(before[1], std::make_pair(false, std::size_t{2})); // then the deletion
    ASSERT_EQ(model->config().rules.size(), 1u);
    EXPECT_EQ(rule(0).id, "A");
    EXPECT_EQ(row("B"), nullptr);
}

TEST_F(PopoverViewTest, ContextMenuCannotMovePastTheEnds) {
    struct Case {
        std::size_t count;
        std::size_t position;
        bool upEnabled;
        bool downEnabled;
    };
    const Case cases[] = {{1, 0, false, false}, {3, 0, false, true}, {3, 1, true, true},
                          {3, 2, true, false}};
    for (const Case& c : cases) {
        std::vector<Rule> rules;
        for (std::size_t i = 0; i < c.count; ++i) {
            rules.push_back(makeRule("R" + std::to_string(i), "Prompt " + std::to_string(i),
                                     "cmd+" + std::to_string(i + 1)));
        }
        start(rules);
        std::unique_ptr<QMenu> menu(row("R" + std::to_string(c.position))->makeContextMenu(nullptr));
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), 4); // up, down, separator, delete
        EXPECT_EQ(actions[0]->isEnabled(), c.upEnabled) << c.count << "/" << c.position;
        EXPECT_EQ(actions[1]->isEnabled(), c.downEnabled) << c.count << "/" << c.position;
        EXPECT_TRUE(actions[2]->isSeparator());
        view.reset();
        model->tap()->stop();
    }
    // A move that is allowed is made.
    start({makeRule("A", "First", "cmd+1"), makeRule("B", "Second", "cmd+2")});
    std::unique_ptr<QMenu> menu(row("B")->makeContextMenu(nullptr));
    menu->actions()[0]->trigger();
    pump();
    EXPECT_EQ(rule(0).id, "B");
}

TEST_F(PopoverViewTest, NameTypedShowsInTheRowAtOnceAndReachesTheFileAfterTheDelay) {
    start({makeRule("A", "Plan", "cmd+1")});
    clickRow("A");
    const std::string saved = fileBytes();
    auto* name = find<QLineEdit>("nameField");
    ASSERT_NE(name, nullptr);
    name->setFocus();
    name->end(false);
    QTest::keyClicks(name, " only");
    pump();

    EXPECT_EQ(rule(0).name, "Plan only");
    EXPECT_EQ(row("A")->findChild<ElidedLabel*>("ruleName")->fullText(), "Plan only");
    EXPECT_EQ(fileBytes(), saved);
    mainQueue->advance(std::chrono::milliseconds(AppModel::saveDelayMS - 1));
    EXPECT_EQ(fileBytes(), saved);
    mainQueue->advance(1ms);
    EXPECT_NE(fileBytes().find("\"Plan only\""), std::string::npos);
    // The editor survived every keystroke, so the cursor stayed where typing left it.
    EXPECT_EQ(name, find<QLineEdit>("nameField"));
    EXPECT_EQ(name->cursorPosition(), name->text().size());
}

TEST_F(PopoverViewTest, ShortcutEditorWritesOnlyWhatTheSlotCanHold) {
    struct Case {
        const char* hotkey;
        std::function<void(HotkeyEditor&)> act;
        const char* expected;
    };
    const Case cases[] = {
        // An unset slot: modifiers have nothing to attach to.
        {"", [](HotkeyEditor& e) { QTest::mouseClick(e.modifierToggle(Modifiers::shift), Qt::LeftButton); }, ""},
        {"", [](HotkeyEditor& e) { QTest::mouseClick(e.modifierToggle(Modifiers::command), Qt::LeftButton); }, ""},
        // Choosing a key on an unset slot gives command and that key.
        {"", [](HotkeyEditor& e) { QTest::keyClick(e.keyPicker(), Qt::Key_Down); }, "cmd+enter"},
        {"ctrl+opt+enter", [](HotkeyEditor& e) { QTest::mouseClick(e.modifierToggle(Modifiers::option), Qt::LeftButton); }, "ctrl+enter"},
        {"ctrl+enter", [](HotkeyEditor& e) { QTest::mouseClick(e.modifierToggle(Modifiers::shift), Qt::LeftButton); }, "ctrl+shift+enter"},
        {"ctrl+enter", [](HotkeyEditor& e) { QTest::keyClick(e.keyPicker(), Qt::Key_Down); }, "ctrl+space"},
        {"ctrl+enter", [](HotkeyEditor& e) { QTest::keyClick(e.keyPicker(), Qt::Key_Home); }, ""},
    };
    for (const Case& c : cases) {
        start({makeRule("A", "Plan", c.hotkey, "cmd+9")});
        clickRow("A");
        auto* editor = find<HotkeyEditor>("sendEditor");
        ASSERT_NE(editor, nullptr);
        c.act(*editor);
        pump();
        EXPECT_EQ(rule(0).hotkey, c.expected) << "from '" << c.hotkey << "'";
        EXPECT_EQ(rule(0).insertHotkey, "cmd+9");
        const auto parsed = Hotkey::parse(rule(0).hotkey);
        EXPECT_EQ(find<HotkeyEditor>("sendEditor")->modifierToggle(Modifiers::command)->isChecked(),
                  parsed && parsed->modifiers.contains(Modifiers::command));
        view.reset();
        model->tap()->stop();
    }
}

TEST_F(PopoverViewTest, ChipsNameTheKeysAndSayWhenASlotIsEmpty) {
    start({makeRule("A", "Plan", "cmd+enter", "nonsense")});
    auto* send = row("A")->findChild<QWidget*>("sendChip");
    auto* insert = row("A")->findChild<QWidget*>("insertChip");
    EXPECT_EQ(send->accessibleName(), "Append & Send: Super+⏎");
    EXPECT_EQ(insert->accessibleName(), "Append Only: Not set");
    EXPECT_EQ(insert->findChildren<QLabel*>().back()->text(), "—");
    EXPECT_EQ(find<HotkeyEditor>("sendEditor"), nullptr);
    clickRow("A");
    EXPECT_EQ(find<HotkeyEditor>("sendEditor")->modifierToggle(Modifiers::command)->accessibleName(),
              "Super");
    EXPECT_EQ(find<HotkeyEditor>("sendEditor")->modifierToggle(Modifiers::option)->text(), "Alt");
}

TEST_F(PopoverViewTest, ListGrowsToItsLimitAndThenScrolls) {
    start({makeRule("A", "First", "cmd+1"), makeRule("B", "Second", "cmd+2")});
    QScrollArea* scroll = list()->scrollArea();
    const int two = scroll->height();
    EXPECT_GT(two, 40);
    EXPECT_LT(two, PromptListView::maximumListHeight);
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0);

    QSignalSpy heights(view.get(), &PopoverView::preferredHeightChanged);
    for (int i = 0; i < 30; ++i) {
        model->appendRule("Prompt " + std::to_string(i), "Text.");
    }
    pump();
    EXPECT_EQ(scroll->height(), PromptListView::maximumListHeight);
    EXPECT_GT(list()->listHeight(), PromptListView::maximumListHeight);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    ASSERT_FALSE(heights.isEmpty());
    EXPECT_EQ(heights.last().at(0).toInt(), view->preferredHeight());

    // A change that leaves the height as it was is not reported.
    heights.clear();
    model->setEnabled(false);
    pump();
    EXPECT_TRUE(heights.isEmpty());
}

TEST(MeasuredHeightTest, ChangesOfHalfAPointOrLessAreIgnored) {
    struct Case {
        double from;
        double measured;
        bool taken;
    };
    const Case cases[] = {{0, 0.5, false}, {0, 0.51, true},   {100, 100.5, false},
                          {100, 99.5, false}, {100, 99.4, true}, {100, 560, true}};
    for (const Case& c : cases) {
        MeasuredHeight height{c.from};
        EXPECT_EQ(height.update(c.measured), c.taken) << c.from << " → " << c.measured;
        EXPECT_EQ(height.value, c.taken ? c.measured : c.from);
    }
}

TEST_F(PopoverViewTest, BannersShowTheirMessageAndGoWhenDismissed) {
    start({makeRule("A", "First", "cmd+1")});
    secureInputStatus = SecureInputStatus{"Terminal"};
    model->refreshSecureInput();
    pump();
    auto banners = view->findChildren<QWidget*>("banner");
    ASSERT_EQ(banners.size(), 1);
    EXPECT_TRUE(visibleTexts(banners[0]).join(' ').contains("Terminal"));
    EXPECT_EQ(banners[0]->findChild<QToolButton*>("dismissBanner"), nullptr);

    // An edit made on disk brings a notice, which the user may dismiss.
    Config edited = model->config();
    edited.rules.front().name = "Edited elsewhere";
    writeFile(file, ConfigCodec::encode(edited));
    model->reloadIfChangedExternally();
    pump();
    banners = view->findChildren<QWidget*>("banner");
    ASSERT_EQ(banners.size(), 2);
    EXPECT_EQ(row("A")->findChild<ElidedLabel*>("ruleName")->fullText(), "Edited elsewhere");
    QTest::mouseClick(banners[1]->findChild<QToolButton*>("dismissBanner"), Qt::LeftButton);
    pump();
    EXPECT_EQ(model->notice(), std::nullopt);
    EXPECT_EQ(view->findChildren<QWidget*>("banner").size(), 1);
}

} // namespace

namespace {

TEST_F(PopoverViewTest, WarningsStandUnderTheFieldTheyConcern) {
    // No modifier on the send slot, and no text at all.
    start({makeRule("A", "Plan", "1", "", "")});
    EXPECT_TRUE(row("A")->findChild<QLabel*>("ruleWarning")->isVisibleTo(view.get()));
    clickRow("A");
    auto texts = [&](const char* editor) {
        QStringList shown;
        for (auto* issue : find<HotkeyEditor>(editor)->findChildren<IssueLabel*>()) {
            shown << issue->text();
        }
        return shown;
    };
    EXPECT_EQ(texts("sendEditor"), QStringList{qtText(StringKey::warnNoModifier, Language::en)});
    EXPECT_TRUE(texts("insertEditor").isEmpty());
    QStringList general;
    for (auto* issue : row("A")->editor()->findChildren<IssueLabel*>()) {
        if (issue->parentWidget() == row("A")->editor()) {
            general << issue->text();
        }
    }
    EXPECT_EQ(general, QStringList{qtText(StringKey::warnEmptyText, Language::en)});

    // Typing text clears the general warning at once.
    QTest::keyClicks(find<QPlainTextEdit>("textField"), "Stop.");
    pump();
    for (auto* issue : row("A")->editor()->findChildren<IssueLabel*>()) {
        EXPECT_NE(issue->text(), qtText(StringKey::warnEmptyText, Language::en));
    }
}

} // namespace

namespace {

// Outside X11 the user hears what does not work: every limit on the banner,
// and on the setup guide the session's summary with the same limits.
TEST_F(PopoverViewTest, TheSessionsLimitsAreShownInTheBannerAndTheSetupGuide) {
    start({makeRule("A", "First", "cmd+1")});
    const SessionPlan bare = SessionPlan::choose({true, false, false, true, true});
    const auto limits = SessionTexts::limits(bare, Language::en);
    ASSERT_EQ(limits.size(), 2u);
    model->setSessionPlan(bare);
    pump();
    auto banners = view->findChildren<QWidget*>("banner");
    ASSERT_EQ(banners.size(), 1);
    const QString shown = visibleTexts(banners[0]).join('\n');
    for (const std::string& limit : limits) {
        EXPECT_TRUE(shown.contains(QString::fromStdString(limit))) << limit;
    }

    model->setShowsSetupGuide(true);
    model->mutate([](Config& config) { config.language = LanguagePreference::ja; });
    pump();
    auto* session = view->findChild<QLabel*>("setupSession");
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(session->isVisible());
    EXPECT_TRUE(session->text().contains(
        QString::fromStdString(SessionTexts::summary(bare, Language::ja))));
    EXPECT_TRUE(session->text().contains(
        QString::fromStdString(SessionTexts::limits(bare, Language::ja).back())));

    // Under X11 nothing is limited: no banner, no session text.
    model->setSessionPlan(SessionPlan::choose({false, true, false, false, false}));
    pump();
    EXPECT_FALSE(session->isVisible());
    model->setShowsSetupGuide(false);
    pump();
    EXPECT_TRUE(view->findChildren<QWidget*>("banner").empty());
}

// The keys the desktop really fires on, where it holds the shortcuts and
// gave some of ours other keys (or none).
TEST_F(PopoverViewTest, ShortcutsTheDesktopMovedAreNamedWithTheirNewKeys) {
    start({makeRule("A", "First", "ctrl+enter")});
    EXPECT_TRUE(view->findChildren<QWidget*>("banner").empty());
    model->setDesktopTriggers({{"ctrl+enter", "Meta+Return"}, {"cmd+1", ""}});
    pump();
    auto banners = view->findChildren<QWidget*>("banner");
    ASSERT_EQ(banners.size(), 1);
    const QString shown = visibleTexts(banners[0]).join(' ');
    const std::string ours = Hotkey::parse("ctrl+enter")->displayString(platformKeyNaming);
    EXPECT_TRUE(shown.contains(QString::fromStdString(ours + " → Meta+Return")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("→ none"))) << shown.toStdString();
    model->setDesktopTriggers({});
    pump();
    EXPECT_TRUE(view->findChildren<QWidget*>("banner").empty());
}

} // namespace
