// The popover and the Prompt Lab keep their shape through ordinary use: each
// operation is done on the real views in their real windows, and after each
// one the invariants of LayoutInvariants hold, along with the popover's own
// height rule. The suite runs once more at twice the scale (see CMake).

#include <QCheckBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <gtest/gtest.h>

#include "platform/fake/FakeLanguageModel.h"
#include "shell/PopoverWindow.h"
#include "tests/ui/LayoutInvariants.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/BannerView.h"
#include "ui/CandidateDetailView.h"
#include "ui/ElidedLabel.h"
#include "ui/Icons.h"
#include "ui/PromptLabView.h"
#include "ui/PromptListView.h"
#include "ui/RowButton.h"
#include "ui/RuleEditorView.h"
#include "ui/RuleRowView.h"
#include "ui/SetupView.h"
#include "ui/ShortcutColumn.h"
#include "ui/SwitchButton.h"
#include "ui/TrayMenu.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

const std::string longName = "Review the migration plan and list every risky step in order";
static_assert(sizeof("Review the migration plan and list every risky step in order") - 1 == 60);

std::string longText() {
    std::string text;
    while (text.size() < 2000) {
        text += "Explain each change before you make it, and keep the diff small. ";
    }
    text.resize(2000);
    return text;
}

std::string joined(const Faults& faults) {
    std::string out;
    for (const std::string& fault : faults) {
        out += "\n  " + fault;
    }
    return out;
}

class PopoverLayoutTest : public ::testing::Test, protected FakeAppServices {
protected:
    void start(std::vector<Rule> rules, LanguagePreference language = LanguagePreference::en) {
        Config config;
        config.language = language;
        config.rules = std::move(rules);
        writeFile(file, ConfigCodec::encode(config));
        model = makeAppModel(file);
        window = std::make_unique<PopoverWindow>(model, SettingsActions{});
        window->view()->setAppearance(Appearance::light);
        // Where a second start opens it: at the pointer, mid-screen.
        window->showNear(QRect(), available().center());
        pump();
    }

    ~PopoverLayoutTest() override {
        window.reset();
        if (model) {
            model->tap()->stop();
        }
    }

    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
    PopoverView* view() const { return window->view(); }
    PromptListView* list() const { return dynamic_cast<PromptListView*>(view()->pageView()); }
    RuleRowView* row(const std::string& id) const { return list()->row(id); }
    const Rule& rule(std::size_t index) const { return model->config().rules.at(index); }

    void pump() {
        for (int round = 0; round < 4; ++round) {
            QApplication::processEvents();
            mainQueue->runPending();
            view()->refreshNow();
        }
        QApplication::processEvents();
    }

    void click(QWidget* widget) {
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
        pump();
    }

    // The popover's own rule, then the shared invariants over its widgets.
    void expectShape(const std::string& step, bool checkFocus = true) {
        SCOPED_TRACE(step);
        const int limit = std::min(PopoverWindow::tallest, available().height());
        EXPECT_EQ(window->height(), std::clamp(view()->preferredHeight(), 1, limit));
        EXPECT_LE(window->height(), available().height());
        EXPECT_TRUE(available().contains(window->geometry()))
            << window->geometry().x() << "," << window->geometry().y() << " " << window->width()
            << "x" << window->height();
        // Nothing stretched to fill a window that failed to shrink.
        RefreshingView* page = view()->pageView();
        EXPECT_EQ(view()->height(), window->height());
        EXPECT_NEAR(page->height(), Views::layoutHeight(page), 1);
        for (RowButton* summary : page->findChildren<RowButton*>()) {
            if (summary->isVisibleTo(page)) {
                EXPECT_EQ(summary->height(), summary->sizeHint().height()) << describe(summary);
            }
        }
        const Faults faults =
            checkFocus ? layoutFaults(window.get()) : geometryFaults(window.get());
        EXPECT_TRUE(faults.empty()) << joined(faults);
    }

    TemporaryFolder home;
    std::filesystem::path file = home / "config.json";
    std::shared_ptr<AppModel> model;
    std::unique_ptr<PopoverWindow> window;
};

std::vector<Rule> awkwardPrompts() {
    return {makeRule("A", longName, "cmd+1", "ctrl+1"),
            makeRule("B", "Plan", "ctrl+opt+shift+cmd+9", "ctrl+opt+shift+cmd+enter", longText()),
            makeRule("C", "", "", "", "")};
}

TEST_F(PopoverLayoutTest, EveryOperationKeepsTheShape) {
    start(awkwardPrompts());
    expectShape("opened");
    const int collapsed = window->height();

    click(row("A")->summary());
    expectShape("long name expanded");
    EXPECT_GT(window->height(), collapsed);
    click(row("A")->summary());
    expectShape("collapsed");
    EXPECT_EQ(window->height(), collapsed);

    click(row("B")->summary());
    expectShape("long text expanded");
    click(list()->findChild<QToolButton*>("addPrompt"));
    expectShape("added");
    ASSERT_EQ(model->config().rules.size(), 4u);

    click(row(rule(3).id)->editor()->findChild<QToolButton*>("editorMoveUp"));
    expectShape("moved up");
    EXPECT_EQ(rule(2).name, "");
    EXPECT_EQ(model->expandedRuleID(), rule(2).id);

    const std::string added = rule(2).id;
    click(row(added)->editor()->findChild<QToolButton*>("editorDelete"));
    expectShape("deleted, undo offered");
    ASSERT_NE(view()->findChild<QToolButton*>("bannerAction"), nullptr);
    click(view()->findChild<QToolButton*>("bannerAction"));
    expectShape("undone");
    ASSERT_EQ(model->config().rules.size(), 4u);
    EXPECT_EQ(rule(2).id, added);

    click(row(added)->summary()); // closes nothing: it was closed by the delete
    click(row(added)->summary());
    expectShape("collapsed again");
    EXPECT_EQ(model->expandedRuleID(), std::nullopt);

    click(view()->findChild<SwitchButton*>("masterSwitch"));
    expectShape("paused");
    EXPECT_FALSE(model->config().enabled);

    model->setLanguagePreference(LanguagePreference::ja);
    pump();
    expectShape("Japanese");
    click(row("A")->summary());
    expectShape("Japanese, expanded");

    view()->setAppearance(Appearance::dark);
    pump();
    expectShape("dark");
}

TEST_F(PopoverLayoutTest, BannersComeAndGoAndThePopoverFollows) {
    for (const auto language : {LanguagePreference::en, LanguagePreference::ja}) {
        SCOPED_TRACE(static_cast<int>(language));
        start({makeRule("A", "Plan", "cmd+1"), makeRule("B", longName, "cmd+2")}, language);
        const int plain = window->height();

        // Edited on disk: the notice comes, and goes when dismissed.
        Config edited = model->config();
        edited.rules.front().name = "Edited on disk";
        writeFile(file, ConfigCodec::encode(edited));
        model->reloadIfChangedExternally();
        pump();
        ASSERT_TRUE(model->notice().has_value());
        expectShape("reloaded notice", false);
        click(view()->findChild<QToolButton*>("dismissBanner"));
        expectShape("notice dismissed", false);
        EXPECT_EQ(window->height(), plain);

        secureInputStatus = SecureInputStatus{"Terminal"};
        model->refreshSecureInput();
        pump();
        expectShape("secure input", false);

        // The file damaged on disk: the prompts in use stay.
        writeFile(file, "{ \"rules\": [ }");
        model->reloadIfChangedExternally();
        pump();
        expectShape("unreadable file", false);

        // The file replaced by a folder: the next save fails.
        std::filesystem::remove(file);
        std::filesystem::create_directory(file);
        model->setEnabled(false);
        mainQueue->advance(1s);
        pump();
        ASSERT_TRUE(model->saveError().has_value());
        expectShape("save failed", false);

        model->deleteRule("B");
        pump();
        expectShape("all banners");
        const int crowded = window->height();
        EXPECT_GT(crowded, plain);

        secureInputStatus.reset();
        model->refreshSecureInput();
        pump();
        expectShape("secure input gone", false);
        for (QToolButton* dismiss = view()->findChild<QToolButton*>("dismissBanner");
             dismiss != nullptr; dismiss = view()->findChild<QToolButton*>("dismissBanner")) {
            click(dismiss);
            expectShape("dismissed one", false);
        }
        EXPECT_EQ(view()->findChild<QWidget*>("banner"), nullptr);
        EXPECT_LT(window->height(), crowded);
        std::filesystem::remove_all(file);
        window.reset();
        model->tap()->stop();
    }
}

TEST_F(PopoverLayoutTest, ThirtyPromptsScrollInsideTheScreen) {
    std::vector<Rule> rules = awkwardPrompts();
    for (int i = 0; i < 30; ++i) {
        rules.push_back(makeRule("P" + std::to_string(i), "Prompt " + std::to_string(i),
                                 "cmd+" + std::to_string(i % 10), ""));
    }
    start(rules);
    expectShape("thirty", false);
    const int limit = std::min(PopoverWindow::tallest, available().height());
    EXPECT_EQ(window->height(), limit);
    EXPECT_GT(list()->scrollArea()->verticalScrollBar()->maximum(), 0);
    // The footer stays reachable: inside the window, under the list.
    auto* add = view()->findChild<QToolButton*>("addPrompt");
    EXPECT_TRUE(window->rect().contains(QRect(add->mapTo(window.get(), QPoint()), add->size())));

    click(row("P29")->summary());
    expectShape("last one open", false);
    model->setShowsSettings(true);
    pump();
    expectShape("settings");
    model->setShowsSettings(false);
    model->setShowsSetupGuide(true);
    pump();
    expectShape("setup guide");
}

TEST_F(PopoverLayoutTest, LongNamesAndPreviewsElideWithTheWholeTextAtHand) {
    start(awkwardPrompts());
    auto* name = row("A")->findChild<ElidedLabel*>("ruleName");
    auto* preview = row("B")->findChild<ElidedLabel*>("rulePreview");
    EXPECT_TRUE(name->isElided());
    EXPECT_EQ(name->toolTip(), QString::fromStdString(longName));
    EXPECT_EQ(name->accessibleName(), QString::fromStdString(longName));
    EXPECT_TRUE(preview->isElided());
    EXPECT_EQ(preview->toolTip().size(), preview->fullText().size());
    for (RowButton* summary : list()->findChildren<RowButton*>()) {
        EXPECT_LE(summary->width(), PopoverView::width);
    }
    // The editor of a long-named prompt keeps its fields and buttons in view.
    click(row("A")->summary());
    RuleEditorView* editor = row("A")->editor();
    for (const char* part : {"nameField", "editorMoveUp", "editorMoveDown", "editorDelete"}) {
        auto* widget = editor->findChild<QWidget*>(part);
        const QRect inPopover(widget->mapTo(window.get(), QPoint()), widget->size());
        EXPECT_TRUE(window->rect().contains(inPopover)) << part;
    }
}

TEST_F(PopoverLayoutTest, ChipsShowTheWholeShortcutAndTheirTooltips) {
    start(awkwardPrompts());
    ShortcutChip* send = row("B")->findChild<ShortcutChip*>("sendChip");
    ShortcutChip* insert = row("B")->findChild<ShortcutChip*>("insertChip");
    EXPECT_EQ(send->labelText(), "Ctrl+Alt+Shift+Super+9");
    EXPECT_EQ(insert->labelText(), "Ctrl+Alt+Shift+Super+⏎");
    // Send first, then insert, whichever way they are laid out.
    EXPECT_TRUE(send->x() < insert->x() || send->y() < insert->y());

    RowButton* summary = row("B")->summary();
    const QPoint onSend = send->mapTo(summary, send->rect().center());
    EXPECT_EQ(summary->toolTipAt(onSend), "Append & Send: Ctrl+Alt+Shift+Super+9");
    QHelpEvent help(QEvent::ToolTip, onSend, summary->mapToGlobal(onSend));
    QApplication::sendEvent(summary, &help);
    EXPECT_EQ(QToolTip::text(), "Append & Send: Ctrl+Alt+Shift+Super+9");
    QToolTip::hideText();

    // Short shortcuts keep the narrow column side by side.
    ShortcutChip* shortSend = row("A")->findChild<ShortcutChip*>("sendChip");
    ShortcutChip* shortInsert = row("A")->findChild<ShortcutChip*>("insertChip");
    EXPECT_EQ(shortSend->y(), shortInsert->y());
    EXPECT_GE(row("A")->findChild<ShortcutColumn*>()->width(), ShortcutColumn::standardWidth);
    // Every row gives its chips the same room, so the names line up.
    EXPECT_EQ(row("A")->findChild<ElidedLabel*>("ruleName")->x(),
              row("B")->findChild<ElidedLabel*>("ruleName")->x());
    EXPECT_EQ(row("A")->findChild<ElidedLabel*>("ruleName")->x(),
              row("C")->findChild<ElidedLabel*>("ruleName")->x());
}

TEST_F(PopoverLayoutTest, AddedPromptTakesTheKeyboardInItsNameField) {
    start({makeRule("A", "Plan", "cmd+1")});
    window->activateWindow();
    click(list()->findChild<QToolButton*>("addPrompt"));
    RuleEditorView* editor = row(rule(1).id)->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), editor->nameField());
    QTest::keyClicks(editor->nameField(), "Tests");
    pump();
    EXPECT_EQ(rule(1).name, "Tests");
}

TEST_F(PopoverLayoutTest, DeleteCanBeUndoneForAFewSecondsAndIsSaved) {
    start({makeRule("A", "First", "cmd+1"), makeRule("B", "Second", "cmd+2"),
           makeRule("C", "Third", "cmd+3")});
    model->deleteRule("B");
    pump();
    EXPECT_TRUE(visibleTexts(view()).contains("Deleted “Second”"));
    click(view()->findChild<QToolButton*>("bannerAction"));
    ASSERT_EQ(model->config().rules.size(), 3u);
    EXPECT_EQ(rule(1).id, "B");
    EXPECT_EQ(view()->findChild<QToolButton*>("bannerAction"), nullptr);
    model->flushPendingSave();
    EXPECT_NE(readFile(file).find("Second"), std::string::npos);

    // Left alone, the offer goes, and the deletion stays.
    model->deleteRule("A");
    pump();
    mainQueue->advance(std::chrono::milliseconds(AppModel::undoDurationMS));
    pump();
    EXPECT_EQ(model->recentlyDeleted(), std::nullopt);
    EXPECT_EQ(view()->findChild<QToolButton*>("bannerAction"), nullptr);
    model->undoDelete();
    EXPECT_EQ(model->config().rules.size(), 2u);
}

TEST_F(PopoverLayoutTest, PausedRowsLookPaused) {
    start({makeRule("A", "Plan", "cmd+1")});
    auto* name = row("A")->findChild<ElidedLabel*>("ruleName");
    EXPECT_EQ(name->property("tone").toString(), "primary");
    model->setEnabled(false);
    pump();
    EXPECT_EQ(name->property("tone").toString(), "tertiary");
    model->setEnabled(true);
    model->updateRule("A", [](Rule& r) { r.enabled = false; });
    pump();
    EXPECT_EQ(name->property("tone").toString(), "tertiary");
}

TEST_F(PopoverLayoutTest, BannersTellTheTruthInTheUsersLanguage) {
    start({makeRule("A", "Plan", "cmd+1")}, LanguagePreference::ja);
    writeFile(file, "{ \"rules\": [ }");
    model->reloadIfChangedExternally();
    pump();
    ASSERT_EQ(model->config().rules.size(), 1u);
    auto* detail = view()->findChild<QLabel*>("bannerDetail");
    ASSERT_NE(detail, nullptr);
    EXPECT_TRUE(detail->text().startsWith(qtText(StringKey::configErrorKeptPrompts, Language::ja)));
    EXPECT_FALSE(detail->text().contains("JSON was") || detail->text().contains("Unexpected"))
        << detail->text().toStdString();
    EXPECT_TRUE(detail->text().contains("行")) << detail->text().toStdString();
    model->dismissLoadError();

    // News wears the information sign, not the warning.
    Config edited = model->config();
    edited.rules.front().name = "Edited";
    writeFile(file, ConfigCodec::encode(edited));
    model->reloadIfChangedExternally();
    pump();
    auto* banner = view()->findChild<QWidget*>("banner");
    ASSERT_NE(banner, nullptr);
    const QImage info =
        Icons::pixmap(Symbol::info, 14, Palette::of(Appearance::light).secondary).toImage();
    bool hasInfo = false;
    for (QLabel* label : banner->findChildren<QLabel*>()) {
        hasInfo = hasInfo || (!label->pixmap().isNull() && label->pixmap().toImage() == info);
    }
    EXPECT_TRUE(hasInfo);
}

TEST_F(PopoverLayoutTest, SetupGuideOnAWorkingDisplaySaysSo) {
    for (const auto language : {LanguagePreference::en, LanguagePreference::ja}) {
        start({makeRule("A", "Plan", "cmd+1")}, language);
        const Language shown = model->language();
        model->setShowsSetupGuide(true);
        pump();
        const QStringList texts = visibleTexts(view());
        EXPECT_TRUE(texts.contains(qtText(StringKey::setupGranted, shown)));
        EXPECT_FALSE(texts.contains(qtText(StringKey::setupTitle, shown)));
        EXPECT_FALSE(texts.contains(qtText(StringKey::setupSkip, shown)));
        EXPECT_TRUE(texts.contains(qtText(StringKey::setupDone, shown)));
        expectShape("granted");

        accessibility->setTrusted(false);
        model->refreshAccessibility();
        model->setShowsSetupGuide(true);
        pump();
        EXPECT_TRUE(visibleTexts(view()).contains(qtText(StringKey::setupStep1, shown)));
        expectShape("not granted");
        accessibility->setTrusted(true);
        window.reset();
        model->tap()->stop();
    }
}

TEST_F(PopoverLayoutTest, PlacementKeepsThePopoverOnScreenAndOffTheIcon) {
    const QRect screen(0, 0, 1280, 800);
    const QSize popup(460, 640);
    // Tray at the top right: below the icon, never over it, never past the bottom.
    const QRect topIcon(1200, 0, 24, 24);
    const int below = PopoverWindow::heightLimit(topIcon, screen);
    EXPECT_EQ(below, std::min(PopoverWindow::tallest, 800 - 24));
    QRect placed(PopoverWindow::placement(topIcon, {}, QSize(460, below), screen),
                 QSize(460, below));
    EXPECT_TRUE(screen.contains(placed));
    EXPECT_FALSE(placed.intersects(topIcon));
    // Tray at the bottom: above the icon.
    const QRect bottomIcon(1200, 776, 24, 24);
    const int above = PopoverWindow::heightLimit(bottomIcon, QRect(0, 0, 1280, 500 + 300));
    placed = QRect(PopoverWindow::placement(bottomIcon, {}, QSize(460, above), screen),
                   QSize(460, above));
    EXPECT_TRUE(screen.contains(placed));
    EXPECT_FALSE(placed.intersects(bottomIcon));
    // A short screen caps the height; the pointer mid-screen does not push it off.
    const QRect shortScreen(0, 0, 640, 500);
    const int limit = PopoverWindow::heightLimit(QRect(), shortScreen);
    EXPECT_EQ(limit, 500);
    placed = QRect(PopoverWindow::placement(QRect(), {320, 250}, QSize(460, limit), shortScreen),
                   QSize(460, limit));
    EXPECT_TRUE(shortScreen.contains(placed));
    EXPECT_LE(popup.height(), 640);
}

TEST(TrayMenuTest, OffersOpenPauseResumePromptLabAndQuit) {
    FakeAppServices services;
    TemporaryFolder home;
    auto model = services.makeAppModel(home / "config.json");
    int opened = 0;
    int quit = 0;
    int lab = 0;
    model->onOpenPromptLab = [&lab] { ++lab; };
    TrayMenu menu(model, {[&opened] { ++opened; }, [&quit] { ++quit; }});
    EXPECT_EQ(menu.openAction()->text(), "Open Tamsel");
    EXPECT_EQ(menu.pauseAction()->text(), "Pause");
    menu.pauseAction()->trigger();
    EXPECT_FALSE(model->config().enabled);
    menu.refresh();
    EXPECT_EQ(menu.pauseAction()->text(), "Resume");
    menu.pauseAction()->trigger();
    EXPECT_TRUE(model->config().enabled);
    menu.openAction()->trigger();
    menu.promptLabAction()->trigger();
    menu.quitAction()->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(lab, 1);
    EXPECT_EQ(quit, 1);
    model->setLanguagePreference(LanguagePreference::ja);
    menu.refresh();
    EXPECT_EQ(menu.quitAction()->text(), "終了");
    model->tap()->stop();
}

} // namespace
