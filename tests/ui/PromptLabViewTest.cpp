#include "ui/PromptLabView.h"

#include <condition_variable>
#include <mutex>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/fake/FakeLanguageModel.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CandidateDetailView.h"
#include "ui/RowButton.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

PromptCandidate candidate(const char* id, const char* text, int occurrences) {
    PromptCandidate c;
    c.id = id;
    c.kind = CandidateKind::repeated;
    c.representative = text;
    c.examples = {text};
    c.occurrences = occurrences;
    return c;
}

// A scan that waits until the test lets it finish.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;

    void release() {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
};

class PromptLabViewTest : public ::testing::Test, protected FakeAppServices {
protected:
    void SetUp() override {
        Config config;
        config.language = LanguagePreference::en;
        config.rules = {makeRule("A", "Plan", "cmd+1")};
        writeFile(file, ConfigCodec::encode(config));
        model = makeAppModel(file);
        languageModel->currentAvailability = DrafterAvailability::unsupportedOS;
        lab = std::make_shared<PromptLabModel>(
            std::make_shared<OnDeviceDrafter>(languageModel), mainQueue,
            [this](const std::vector<Rule>& rules, const std::function<bool()>&) {
                gate->wait();
                PromptLabOutcome outcome;
                outcome.candidates = {candidate("c1", "Run the tests first.", 4),
                                      candidate("c2", "Explain before editing.", 3)};
                outcome.usage = {{rules.front().id, rules.front().name, 0, std::nullopt}};
                outcome.promptCount = 12;
                outcome.dayCount = 3;
                return outcome;
            });
        view = std::make_unique<PromptLabView>(model, lab);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->show();
    }

    void TearDown() override {
        gate->release();
        view.reset();
        lab.reset();
        model->tap()->stop();
    }

    void pump() {
        for (int round = 0; round < 3; ++round) {
            QApplication::processEvents();
            mainQueue->runPending();
            view->refreshNow();
        }
    }

    void finishScan() {
        gate->release();
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (lab->phase() != PromptLabModel::Phase::ready &&
               std::chrono::steady_clock::now() < deadline) {
            mainQueue->waitForPending(mainQueue->pendingCount() + 1, 50ms);
            pump();
        }
        ASSERT_EQ(lab->phase(), PromptLabModel::Phase::ready);
    }

    TemporaryFolder home;
    std::filesystem::path file = home / "config.json";
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::shared_ptr<FakeLanguageModel> languageModel = std::make_shared<FakeLanguageModel>();
    std::shared_ptr<AppModel> model;
    std::shared_ptr<PromptLabModel> lab;
    std::unique_ptr<PromptLabView> view;
};

TEST_F(PromptLabViewTest, FirstShowingScansAndRescanWaitsForTheScanToEnd) {
    pump();
    EXPECT_EQ(lab->phase(), PromptLabModel::Phase::scanning);
    EXPECT_FALSE(view->rescanButton()->isEnabled());
    finishScan();
    EXPECT_TRUE(view->rescanButton()->isEnabled());
    EXPECT_EQ(lab->selectedID(), "c1");

    gate = std::make_shared<Gate>(); // the next scan waits again
    // The pipeline captured `this`, so it reads the new gate.
    QTest::mouseClick(view->rescanButton(), Qt::LeftButton);
    pump();
    EXPECT_EQ(lab->phase(), PromptLabModel::Phase::scanning);
    EXPECT_FALSE(view->rescanButton()->isEnabled());
    finishScan();
}

TEST_F(PromptLabViewTest, AdoptNeedsTextAndMarksTheAdoptedRow) {
    pump();
    finishScan();
    QPushButton* adopt = view->detail()->adoptButton();
    auto* text = view->detail()->findChild<QPlainTextEdit*>("labText");
    EXPECT_TRUE(adopt->isEnabled());

    struct Case {
        const char* typed;
        bool lineBreak;
        bool enabled;
    };
    const Case cases[] = {{"", false, false}, {"  ", true, false}, {" Keep it short.", true, true}};
    for (const Case& c : cases) {
        text->setFocus();
        QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_Delete);
        QTest::keyClicks(text, c.typed);
        if (c.lineBreak) {
            QTest::keyClick(text, Qt::Key_Return);
        }
        pump();
        EXPECT_EQ(adopt->isEnabled(), c.enabled) << "'" << c.typed << "'";
    }

    EXPECT_EQ(view->candidateRow(0)->findChild<QLabel*>("adoptedMark"), nullptr);
    QTest::mouseClick(adopt, Qt::LeftButton);
    pump();
    ASSERT_EQ(model->config().rules.size(), 2u);
    EXPECT_EQ(model->config().rules.back().text, "Keep it short.");
    EXPECT_NE(view->candidateRow(0)->findChild<QLabel*>("adoptedMark"), nullptr);
    EXPECT_EQ(view->candidateRow(1)->findChild<QLabel*>("adoptedMark"), nullptr);

    // Choosing the other suggestion shows its own wording.
    QTest::mouseClick(view->candidateRow(1), Qt::LeftButton);
    pump();
    EXPECT_EQ(lab->selectedID(), "c2");
    EXPECT_EQ(text->toPlainText(), "Explain before editing.");
}

TEST_F(PromptLabViewTest, FooterShowsUnusedPromptsAndMissingHistory) {
    pump();
    // Prompts exist; their counts are still being read.
    EXPECT_FALSE(visibleTexts(view.get()).contains(qtText(StringKey::noPrompts, Language::en)));
    finishScan();
    const QString unused = qtText(Strings::labUsageEntry("Plan", 0, Language::en));
    auto* entries = view->findChild<QLabel*>("usageEntries");
    ASSERT_NE(entries, nullptr);
    EXPECT_TRUE(entries->isVisibleTo(view.get()));
    EXPECT_TRUE(entries->accessibleName().contains(unused));
    EXPECT_TRUE(
        visibleTexts(view.get()).contains(qtText(StringKey::labModelUnsupportedOS, Language::en)));
}

} // namespace
