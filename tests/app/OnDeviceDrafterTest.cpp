#include "app/OnDeviceDrafter.h"

#include <gtest/gtest.h>

#include "core/config/Config.h"
#include "platform/fake/FakeLanguageModel.h"

using namespace tamsel;

namespace {

PromptCandidate candidate(CandidateKind kind, std::vector<std::string> examples,
                          std::string representative = "rep") {
    PromptCandidate c;
    c.id = "x";
    c.kind = kind;
    c.examples = std::move(examples);
    c.representative = std::move(representative);
    return c;
}

std::string repeatText(std::string_view unit, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += unit;
    }
    return out;
}

struct Outcome {
    bool called = false;
    std::optional<PromptDraftResult> result;
};

} // namespace

TEST(DrafterPrompt, RepeatedInEnglishTrimsAndSkipsBlankExamples) {
    auto c = candidate(CandidateKind::repeated, {"  Run the tests first.\n", " \n", "Then lint."});
    EXPECT_EQ(OnDeviceDrafter::prompt(c, Language::en, 1000),
              "These instructions kept recurring. Draft a reusable reminder.\n"
              "- Run the tests first.\n"
              "- Then lint.");
    c.kind = CandidateKind::correction;
    c.title = "ignored for corrections";
    EXPECT_EQ(OnDeviceDrafter::prompt(c, Language::ja, 1000),
              "次の訂正が繰り返されていた。先回りして防ぐ定型文に言い換えよ。\n"
              "- Run the tests first.\n"
              "- Then lint.");
}

TEST(DrafterPrompt, ConventionInJapaneseWithTopicAndContext) {
    auto c = candidate(CandidateKind::convention, {"テスト", "型"});
    c.title = "テスト方針";
    c.context = "以下を守る。";
    EXPECT_EQ(OnDeviceDrafter::prompt(c, Language::ja, 1000),
              "主題: テスト方針\n"
              "次の規約を、依頼文の末尾に付ける短い定型文にまとめよ。\n"
              "肯定と否定を取り違えないこと。原文が禁じていることは、禁止のまま書くこと。\n"
              "以下を守る。\n"
              "- テスト\n"
              "- 型");
    c.kind = CandidateKind::unfollowedConvention;
    c.title = "";
    c.context = "";
    EXPECT_EQ(OnDeviceDrafter::prompt(c, Language::en, 1000),
              "Topic: \n"
              "Condense these rules into one short reminder.\n"
              "Keep negations intact: what the source forbids must stay forbidden.\n"
              "\n- テスト\n- 型");
}

TEST(DrafterPrompt, BudgetClipsInCharactersAndStopsTheWalk) {
    const std::string a300 = repeatText("あ", 300);
    auto c = candidate(CandidateKind::repeated, {a300, a300, a300});
    const std::string a200 = repeatText("あ", 200);
    EXPECT_EQ(OnDeviceDrafter::prompt(c, Language::en, 400),
              "These instructions kept recurring. Draft a reusable reminder.\n- " + a200 + "\n- " +
                  a200);

    auto d = candidate(CandidateKind::repeated,
                       {repeatText("x", 700), repeatText("y", 600), "short", repeatText("z", 5)});
    EXPECT_EQ(OnDeviceDrafter::prompt(d, Language::en, 1000),
              "These instructions kept recurring. Draft a reusable reminder.\n- " +
                  repeatText("x", 500) + "\n- " + repeatText("y", 500));
}

TEST(DrafterPrompt, BlankExamplesFallBackToTheRepresentative) {
    auto c = candidate(CandidateKind::repeated, {" ", ""}, " " + repeatText("👍🏽", 450));
    EXPECT_EQ(OnDeviceDrafter::prompt(c, Language::en, 400),
              "These instructions kept recurring. Draft a reusable reminder.\n- " +
                  (" " + repeatText("👍🏽", 399)));
}

TEST(DrafterAccept, TrimsAndEnforcesTheLimits) {
    EXPECT_EQ(OnDeviceDrafter::accept({" Tests first \n", "\tRun the tests. "}),
              (PromptDraftResult{"Tests first", "Run the tests."}));
    EXPECT_TRUE(OnDeviceDrafter::accept({"n", repeatText("字", 400)}));
    EXPECT_FALSE(OnDeviceDrafter::accept({"n", repeatText("字", 401)}));
    EXPECT_FALSE(OnDeviceDrafter::accept({"   ", "text"}));
    EXPECT_FALSE(OnDeviceDrafter::accept({"name", " \n "}));
    const std::string english = Rule::defaultRules(Language::en)[1].text;
    const std::string japanese = Rule::defaultRules(Language::ja)[2].text;
    EXPECT_FALSE(OnDeviceDrafter::accept({"n", english}));
    EXPECT_FALSE(OnDeviceDrafter::accept({"n", " " + japanese + "\n"}));
    EXPECT_TRUE(OnDeviceDrafter::accept({"n", english + " Always."}));
}

TEST(DrafterFlow, SecondSmallerAttemptOnlyAfterAFailure) {
    auto model = std::make_shared<FakeLanguageModel>();
    OnDeviceDrafter drafter(model);
    auto c = candidate(CandidateKind::repeated, {"Run the tests."});
    Outcome outcome;
    drafter.draft(c, Language::en, {}, [&](auto result) { outcome = {true, result}; });
    ASSERT_EQ(model->requests.size(), 1u);
    EXPECT_EQ(model->requests[0].options, (GenerationOptions{true, 320}));
    EXPECT_EQ(model->requests[0].prompt, OnDeviceDrafter::prompt(c, Language::en, 1000));
    EXPECT_EQ(model->requests[0].instructions, OnDeviceDrafter::instructions(Language::en));
    model->answer(GeneratedPromptDraft{"", "rejected: empty name"});
    EXPECT_FALSE(outcome.called);
    ASSERT_EQ(model->requests.size(), 1u);
    EXPECT_EQ(model->requests[0].prompt, OnDeviceDrafter::prompt(c, Language::en, 400));
    model->answer(std::nullopt);
    EXPECT_TRUE(outcome.called);
    EXPECT_FALSE(outcome.result);
    EXPECT_TRUE(model->requests.empty()); // no third attempt

    outcome = {};
    drafter.draft(c, Language::ja, {}, [&](auto result) { outcome = {true, result}; });
    model->answer(GeneratedPromptDraft{"名前", "テストを先に実行すること。"});
    EXPECT_EQ(outcome.result, (PromptDraftResult{"名前", "テストを先に実行すること。"}));
    EXPECT_TRUE(model->requests.empty());
}

TEST(DrafterFlow, UnavailableOrCancelledDraftsNothing) {
    auto model = std::make_shared<FakeLanguageModel>();
    OnDeviceDrafter drafter(model);
    auto c = candidate(CandidateKind::repeated, {"Run the tests."});
    for (auto availability : {DrafterAvailability::unsupportedOS, DrafterAvailability::notReady}) {
        model->currentAvailability = availability;
        Outcome outcome;
        drafter.draft(c, Language::en, {}, [&](auto result) { outcome = {true, result}; });
        EXPECT_TRUE(outcome.called);
        EXPECT_FALSE(outcome.result);
        EXPECT_TRUE(model->requests.empty());
    }
    model->currentAvailability = DrafterAvailability::available;
    CancellationToken token;
    Outcome outcome;
    drafter.draft(c, Language::en, token, [&](auto result) { outcome = {true, result}; });
    token.cancel();
    model->answer(std::nullopt);
    EXPECT_TRUE(outcome.called);
    EXPECT_TRUE(model->requests.empty()); // cancelled between attempts: no second one
    EXPECT_EQ(NoLanguageModel().availability(), DrafterAvailability::unsupportedOS);
}
