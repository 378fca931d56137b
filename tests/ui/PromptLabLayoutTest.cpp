// The Prompt Lab window at its smallest and its usual size, in both
// languages: nothing cut, every control showing its focus, the keyboard
// walking the suggestions, and one prompt per suggestion.

#include <condition_variable>
#include <mutex>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/fake/FakeLanguageModel.h"
#include "tests/ui/LayoutInvariants.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CandidateDetailView.h"
#include "ui/PromptLabView.h"
#include "ui/PromptLabWindows.h"
#include "ui/RowButton.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

std::string joined(const Faults& faults) {
    std::string out;
    for (const std::string& fault : faults) {
        out += "\n  " + fault;
    }
    return out;
}

PromptCandidate repeated(const std::string& id, const std::string& text, int occurrences) {
    PromptCandidate c;
    c.id = id;
    c.kind = CandidateKind::repeated;
    c.representative = text;
    c.examples = {text};
    c.occurrences = occurrences;
    return c;
}

PromptCandidate convention(int lines) {
    PromptCandidate c;
    c.id = "convention:tests";
    c.kind = CandidateKind::convention;
    c.title = "Testing rules that every change in this repository has to follow";
    c.context = "Read before you open a pull request.";
    c.representative = c.title.value();
    for (int i = 0; i < lines; ++i) {
        c.examples.push_back("Run the whole suite before asking for review, rule " +
                             std::to_string(i + 1) + ".");
    }
    c.examples.resize(std::min<std::size_t>(c.examples.size(), 5));
    c.occurrences = lines;
    c.sourceName = "/home/someone/projects/a-project-with-a-long-name/CLAUDE.md";
    return c;
}

class PromptLabLayoutTest : public ::testing::Test, protected FakeAppServices {
protected:
    void open(LanguagePreference language, bool finishScan = true) {
        Config config;
        config.language = language;
        for (int i = 0; i < 12; ++i) {
            config.rules.push_back(makeRule("R" + std::to_string(i),
                                            "Prompt number " + std::to_string(i) + " with a name",
                                            "cmd+" + std::to_string(i % 10)));
        }
        writeFile(file, ConfigCodec::encode(config));
        model = makeAppModel(file);
        languageModel->currentAvailability = DrafterAvailability::unsupportedOS;
        lab = std::make_shared<PromptLabModel>(
            std::make_shared<OnDeviceDrafter>(languageModel), mainQueue,
            [this](const std::vector<Rule>& rules, const std::function<bool()>&) {
                std::unique_lock lock(mutex);
                released.wait(lock, [this] { return scanMayEnd; });
                PromptLabOutcome outcome;
                outcome.candidates = {
                    convention(7),
                    repeated("r1",
                             "Before you change anything, explain what you are about to do and "
                             "why, then wait for my answer before touching any file at all.",
                             6),
                    repeated("r2", "Keep the diff small.", 3)};
                for (const Rule& rule : rules) {
                    outcome.usage.push_back(
                        {rule.id, rule.name, rule.id == "R0" ? 0 : 4, std::nullopt});
                }
                outcome.promptCount = 120;
                outcome.dayCount = 30;
                outcome.sectionCount = 4;
                return outcome;
            });
        controller = std::make_shared<PromptLabWindowController>(
            std::make_shared<QtPromptLabWindowSystem>(), lab);
        controller->show(*model);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->findChild<PromptLabView*>() != nullptr) {
                window = widget;
            }
        }
        ASSERT_NE(window, nullptr);
        view = window->findChild<PromptLabView*>();
        pump();
        if (finishScan) {
            endScan();
        }
    }

    void endScan() {
        {
            std::lock_guard lock(mutex);
            scanMayEnd = true;
        }
        released.notify_all();
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (lab->phase() != PromptLabModel::Phase::ready &&
               std::chrono::steady_clock::now() < deadline) {
            mainQueue->waitForPending(mainQueue->pendingCount() + 1, 50ms);
            pump();
        }
        ASSERT_EQ(lab->phase(), PromptLabModel::Phase::ready);
    }

    void TearDown() override {
        {
            std::lock_guard lock(mutex);
            scanMayEnd = true;
        }
        released.notify_all();
        if (controller && controller->hasWindow()) {
            window->close();
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        controller.reset();
        lab.reset();
        if (model) {
            model->tap()->stop();
        }
    }

    void pump() {
        for (int round = 0; round < 4; ++round) {
            QApplication::processEvents();
            mainQueue->runPending();
            view->refreshNow();
        }
        QApplication::processEvents();
    }

    void expectShape(const std::string& step, bool checkFocus = true) {
        SCOPED_TRACE(step);
        const Faults faults = checkFocus ? layoutFaults(window) : geometryFaults(window);
        EXPECT_TRUE(faults.empty()) << joined(faults);
        // The add button is wholly in view, not under the window's edge.
        QPushButton* adopt = view->detail()->adoptButton();
        if (adopt->isVisibleTo(window)) {
            const QRect inWindow(adopt->mapTo(window, QPoint()), adopt->size());
            EXPECT_TRUE(window->rect().contains(inWindow));
        }
    }

    TemporaryFolder home;
    std::filesystem::path file = home / "config.json";
    std::mutex mutex;
    std::condition_variable released;
    bool scanMayEnd = false;
    std::shared_ptr<FakeLanguageModel> languageModel = std::make_shared<FakeLanguageModel>();
    std::shared_ptr<AppModel> model;
    std::shared_ptr<PromptLabModel> lab;
    std::shared_ptr<PromptLabWindowController> controller;
    QWidget* window = nullptr;
    PromptLabView* view = nullptr;
};

TEST_F(PromptLabLayoutTest, HoldsItsShapeAtEverySizeInBothLanguages) {
    for (const auto language : {LanguagePreference::en, LanguagePreference::ja}) {
        open(language);
        const struct {
            const char* name;
            QSize size;
        } sizes[] = {{"default", QSize(820, 560)}, {"minimum", QSize(640, 420)}};
        for (const auto& size : sizes) {
            SCOPED_TRACE(std::string(size.name) +
                         (language == LanguagePreference::ja ? " ja" : " en"));
            window->resize(size.size);
            pump();
            for (std::size_t i = 0; i < lab->candidates().size(); ++i) {
                QTest::mouseClick(view->candidateRow(i), Qt::LeftButton);
                pump();
                expectShape("candidate " + std::to_string(i), i == 0);
            }
        }
        // The other palette shows its focus rings too.
        Tokens::applyAppearance(window, Appearance::dark);
        pump();
        const Faults dark = focusFaults(window);
        EXPECT_TRUE(dark.empty()) << joined(dark);
        TearDown();
        controller.reset();
        scanMayEnd = false;
        window = nullptr;
    }
}

TEST_F(PromptLabLayoutTest, FooterSaysItIsCountingWhileTheFirstScanRuns) {
    open(LanguagePreference::en, false);
    const QStringList texts = visibleTexts(view);
    EXPECT_FALSE(texts.contains(qtText(StringKey::noPrompts, Language::en)));
    EXPECT_TRUE(texts.count(qtText(StringKey::labScanning, Language::en)) >= 1);
    expectShape("scanning", false);
    endScan();
    expectShape("ready", false);
}

TEST_F(PromptLabLayoutTest, ASuggestionBecomesOnePromptOnly) {
    open(LanguagePreference::en);
    QTest::mouseClick(view->candidateRow(2), Qt::LeftButton);
    pump();
    QPushButton* adopt = view->detail()->adoptButton();
    ASSERT_TRUE(adopt->isEnabled());
    QTest::mouseClick(adopt, Qt::LeftButton);
    pump();
    EXPECT_EQ(model->config().rules.size(), 13u);
    EXPECT_FALSE(adopt->isEnabled());
    EXPECT_EQ(adopt->text(), qtText(StringKey::labAdopted, Language::en));
    // Neither a second click nor Return adds it again.
    QTest::mouseClick(adopt, Qt::LeftButton);
    QTest::keyClick(window, Qt::Key_Return);
    lab->adopt(*model);
    pump();
    EXPECT_EQ(model->config().rules.size(), 13u);
}

TEST_F(PromptLabLayoutTest, ConventionCountSaysHowManyLinesAreShown) {
    open(LanguagePreference::en);
    QTest::mouseClick(view->candidateRow(0), Qt::LeftButton);
    pump();
    EXPECT_TRUE(visibleTexts(view).contains(qtText(Strings::labExamplesShown(5, 7, Language::en))));
    QTest::mouseClick(view->candidateRow(2), Qt::LeftButton);
    pump();
    EXPECT_FALSE(view->findChild<QLabel*>("moreExamples")->isVisibleTo(view));
}

TEST_F(PromptLabLayoutTest, ArrowsWalkTheSuggestionsAndEscapeCloses) {
    open(LanguagePreference::en);
    window->activateWindow();
    view->candidateRow(0)->setFocus(Qt::TabFocusReason);
    pump();
    ASSERT_EQ(lab->selectedID(), "convention:tests");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    pump();
    EXPECT_EQ(lab->selectedID(), "r1");
    EXPECT_EQ(QApplication::focusWidget(), view->candidateRow(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    pump();
    EXPECT_EQ(lab->selectedID(), "r2");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    pump();
    EXPECT_EQ(lab->selectedID(), "r1");
    // In the name field the arrows are the field's.
    QLineEdit* name = view->detail()->nameField();
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Up);
    pump();
    EXPECT_EQ(lab->selectedID(), "r1");

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(controller->hasWindow());
}

} // namespace
