#include "app/PromptLabModel.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/fake/FakeLanguageModel.h"
#include "tests/support/FakeAppServices.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using namespace std::chrono_literals;
using Phase = PromptLabModel::Phase;

namespace {

PromptCandidate candidate(std::string id, std::string sentence) {
    PromptCandidate c;
    c.id = std::move(id);
    c.kind = CandidateKind::repeated;
    c.representative = sentence;
    c.examples = {sentence};
    c.occurrences = 3;
    return c;
}

Timestamp at(int day, int hour, int minute = 0) {
    using namespace std::chrono;
    return Timestamp(sys_days(year(2026) / March / day) + hours(hour) + minutes(minute));
}

// A pipeline that holds its result until the test lets it go.
class GatedPipeline {
public:
    PromptLabOutcome operator()(const std::vector<Rule>& rules) {
        std::unique_lock lock(mutex);
        ++runs;
        seenRules = rules;
        opened.wait(lock, [this] { return open; });
        return outcome;
    }
    void close() {
        std::lock_guard guard(mutex);
        open = false;
    }
    void release() {
        {
            std::lock_guard guard(mutex);
            open = true;
        }
        opened.notify_all();
    }

    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    int runs = 0;
    std::vector<Rule> seenRules;
    PromptLabOutcome outcome;
};

class PromptLabModelTest : public ::testing::Test, protected tamsel::testing::FakeAppServices {
protected:
    void SetUp() override {
        gate->outcome.candidates = {candidate("repeated:a", "Run the tests first."),
                                    candidate("repeated:b", "Keep the diff small.")};
        gate->outcome.usage = {RuleUsage{"R", "Rule", 2, at(1, 9)}};
        gate->outcome.promptCount = 40;
        gate->outcome.dayCount = 2;
        gate->outcome.sectionCount = 1;
    }

    std::shared_ptr<PromptLabModel> makeModel() {
        auto gatePointer = gate;
        model = std::make_shared<PromptLabModel>(
            std::make_shared<OnDeviceDrafter>(languageModel), mainQueue,
            [gatePointer](const std::vector<Rule>& rules, const std::function<bool()>&) {
                return (*gatePointer)(rules);
            });
        return model;
    }

    // Lets the scan finish and applies its result on the "main thread".
    void finishScan() {
        const std::size_t alreadyQueued = mainQueue->pendingCount();
        gate->release();
        ASSERT_TRUE(mainQueue->waitForPending(alreadyQueued + 1, 5s));
        mainQueue->runPending();
    }

    std::shared_ptr<GatedPipeline> gate = std::make_shared<GatedPipeline>();
    std::shared_ptr<FakeLanguageModel> languageModel = std::make_shared<FakeLanguageModel>();
    std::shared_ptr<PromptLabModel> model;
};

} // namespace

TEST(PromptLabDayCount, RoundsUpToWholeDaysAndAtLeastOne) {
    EXPECT_EQ(PromptLabPipeline::dayCount(std::nullopt), 0);
    EXPECT_EQ(PromptLabPipeline::dayCount(DateRange{at(1, 9), at(3, 8)}), 2); // 47 hours
    EXPECT_EQ(PromptLabPipeline::dayCount(DateRange{at(1, 9), at(1, 9, 5)}), 1);
    EXPECT_EQ(PromptLabPipeline::dayCount(DateRange{at(1, 9), at(1, 9)}), 1);
    EXPECT_EQ(PromptLabPipeline::dayCount(DateRange{at(1, 0), at(3, 0)}), 2); // exactly two
    EXPECT_GT(PromptLabPipeline::dayCount(DateRange{distantPast, at(1, 0)}), 100'000'000);
}

TEST_F(PromptLabModelTest, ScanRunsOnceAndPublishesThenSelectsTheFirst) {
    makeModel();
    std::vector<Rule> rules{{"R", "Rule", true, "cmd+1", "", "text", std::nullopt}};
    int notifications = 0;
    auto subscription = model->subscribe([&] { ++notifications; });
    model->scan(rules, Language::en);
    model->scan(rules, Language::en); // ignored while the first runs
    EXPECT_EQ(model->phase(), Phase::scanning);
    finishScan();
    EXPECT_EQ(gate->runs, 1);
    EXPECT_EQ(gate->seenRules, rules);
    EXPECT_EQ(model->phase(), Phase::ready);
    EXPECT_EQ(model->candidates().size(), 2u);
    EXPECT_EQ(model->usage(), gate->outcome.usage);
    EXPECT_EQ(model->promptCount(), 40);
    EXPECT_EQ(model->dayCount(), 2);
    EXPECT_EQ(model->sectionCount(), 1);
    EXPECT_TRUE(model->foundTranscripts());
    EXPECT_EQ(model->selectedID(), "repeated:a");
    EXPECT_TRUE(model->isDrafting());
    EXPECT_EQ(model->editedText(), "Run the tests first.");
    EXPECT_FALSE(model->textIsDrafted());
    EXPECT_GT(notifications, 0);
    EXPECT_EQ(mainQueue->pendingCount(), 0u); // only one result was published
}

TEST_F(PromptLabModelTest, NoTranscriptsAndNoCandidates) {
    gate->outcome = {};
    makeModel();
    model->scan({}, Language::en);
    finishScan();
    EXPECT_FALSE(model->foundTranscripts());
    EXPECT_EQ(model->phase(), Phase::ready);
    EXPECT_FALSE(model->selectedID());
    EXPECT_FALSE(model->isDrafting());
}

TEST_F(PromptLabModelTest, ANewerSelectionWaitsAndOnlyItsDraftReachesTheFields) {
    makeModel();
    model->scan({}, Language::en);
    finishScan();
    ASSERT_EQ(languageModel->requests.size(), 1u); // drafting A
    model->select(model->candidates()[1], Language::en);
    EXPECT_EQ(model->selectedID(), "repeated:b");
    EXPECT_EQ(model->editedText(), "Keep the diff small.");
    EXPECT_TRUE(model->isDrafting());
    EXPECT_EQ(languageModel->requests.size(), 1u); // B waits for A

    languageModel->answer(GeneratedPromptDraft{"A name", "A text."});
    EXPECT_EQ(model->editedName(), "Keep the diff small."); // A's result dropped
    EXPECT_TRUE(model->isDrafting());
    ASSERT_EQ(languageModel->requests.size(), 1u); // now B
    EXPECT_NE(languageModel->requests[0].prompt.find("Keep the diff small."), std::string::npos);

    languageModel->answer(GeneratedPromptDraft{"Small diffs", "Keep every change small."});
    EXPECT_FALSE(model->isDrafting());
    EXPECT_TRUE(model->textIsDrafted());
    EXPECT_EQ(model->editedName(), "Small diffs");
    EXPECT_EQ(model->editedText(), "Keep every change small.");

    // A was dropped, not cached: selecting it drafts again.
    model->select(model->candidates()[0], Language::en);
    EXPECT_EQ(languageModel->requests.size(), 1u);
    EXPECT_FALSE(model->textIsDrafted());
    languageModel->answer(std::nullopt); // first attempt fails
    languageModel->answer(std::nullopt); // and the smaller one
    EXPECT_FALSE(model->isDrafting());
    EXPECT_EQ(model->editedText(), "Run the tests first.");

    // B's draft is cached: shown at once, no request.
    model->select(model->candidates()[1], Language::en);
    EXPECT_TRUE(languageModel->requests.empty());
    EXPECT_TRUE(model->textIsDrafted());
    EXPECT_EQ(model->editedName(), "Small diffs");
    EXPECT_FALSE(model->isDrafting());
}

TEST_F(PromptLabModelTest, WithoutAModelTheSourceWordingStays) {
    languageModel->currentAvailability = DrafterAvailability::notEnabled;
    makeModel();
    model->scan({}, Language::ja);
    finishScan();
    EXPECT_EQ(model->availability(), DrafterAvailability::notEnabled);
    EXPECT_FALSE(model->isDrafting());
    EXPECT_FALSE(model->textIsDrafted());
    EXPECT_EQ(model->editedText(), "Run the tests first.");
    EXPECT_TRUE(languageModel->requests.empty());
}

TEST_F(PromptLabModelTest, AdoptionAddsAPromptAndARescanForgetsAdoptionsAndDrafts) {
    tamsel::testing::TemporaryFolder home;
    auto appModel = makeAppModel(home / "config.json");
    const std::size_t before = appModel->config().rules.size();

    makeModel();
    model->adopt(*appModel); // nothing selected yet
    EXPECT_EQ(appModel->config().rules.size(), before);

    model->scan({}, Language::en);
    finishScan();
    languageModel->answer(GeneratedPromptDraft{"Tests first", "Run the tests first."});
    model->setEditedName("  ");
    model->setEditedText("\n Run every test before you finish. \n");
    model->adopt(*appModel);
    ASSERT_EQ(appModel->config().rules.size(), before + 1);
    const Rule& added = appModel->config().rules.back();
    EXPECT_EQ(added.name, model->candidates()[0].fallbackName());
    EXPECT_EQ(added.text, "Run every test before you finish.");
    EXPECT_EQ(model->adoptedIDs(), (std::set<std::string>{"repeated:a"}));

    model->setEditedText(" \n\t");
    model->select(model->candidates()[1], Language::en);
    model->setEditedText(" \n\t");
    model->adopt(*appModel);
    EXPECT_EQ(appModel->config().rules.size(), before + 1);
    EXPECT_EQ(model->adoptedIDs().size(), 1u);

    languageModel->answer(std::nullopt);
    languageModel->answer(std::nullopt);
    gate->close();
    model->scan({}, Language::en);
    EXPECT_TRUE(model->adoptedIDs().empty());
    finishScan();
    // The earlier draft of A was forgotten: it is drafted again.
    EXPECT_EQ(languageModel->requests.size(), 1u);
    EXPECT_FALSE(model->textIsDrafted());
}

TEST_F(PromptLabModelTest, GoingAwayCutsARunningScanShort) {
    struct Seen {
        std::mutex mutex;
        std::condition_variable changed;
        bool started = false;
        bool cancelled = false;
    };
    auto seen = std::make_shared<Seen>();
    model = std::make_shared<PromptLabModel>(
        std::make_shared<OnDeviceDrafter>(languageModel), mainQueue,
        [seen](const std::vector<Rule>&, const std::function<bool()>& isCancelled) {
            {
                std::lock_guard guard(seen->mutex);
                seen->started = true;
            }
            seen->changed.notify_all();
            // A long history: only cancellation ends it early.
            const auto giveUp = std::chrono::steady_clock::now() + 5s;
            while (!isCancelled() && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(1ms);
            }
            std::lock_guard guard(seen->mutex);
            seen->cancelled = isCancelled();
            return PromptLabOutcome{};
        });
    model->scan({}, Language::en);
    {
        std::unique_lock lock(seen->mutex);
        ASSERT_TRUE(seen->changed.wait_for(lock, 5s, [&] { return seen->started; }));
    }
    model.reset(); // waits for the scan thread
    std::lock_guard guard(seen->mutex);
    EXPECT_TRUE(seen->cancelled);
    mainQueue->runPending(); // the result has nobody to go to
}

TEST(PromptLabPipelineTest, CancellationReachesTheTranscriptScan) {
    tamsel::testing::TemporaryFolder home;
    home.write(".claude/projects/app/a.jsonl",
               R"({"type":"user","userType":"external","sessionId":"a","cwd":"/w","message":)"
               R"({"role":"user","content":"Fix it."},"timestamp":"2026-03-01T09:00:00Z"})"
               "\n");
    EXPECT_EQ(PromptLabPipeline::run({}, home.path()).promptCount, 1);
    EXPECT_EQ(PromptLabPipeline::run({}, home.path(), [] { return true; }).promptCount, 0);
}
