#include "app/PromptLabPipeline.h"

#include <gtest/gtest.h>

#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using Stage = PromptLabPipeline::Stage;

TEST(PromptLabPipelineTest, ReportsEachStageInOrderWithWhatIsKnownSoFar) {
    tamsel::testing::TemporaryFolder home;
    home.write(
        ".claude/projects/p/s.jsonl",
        R"({"type":"user","userType":"external","sessionId":"s","cwd":"/nowhere",)"
        R"("message":{"role":"user","content":"Fix it."},"timestamp":"2026-03-01T09:00:00Z"})"
        "\n");
    std::vector<Stage> stages;
    std::int64_t promptsAtScan = -1;
    std::size_t candidatesAtScan = 99;
    const Rule rule{"R", "Rule", true, "cmd+1", "", "text", std::nullopt};
    auto outcome = PromptLabPipeline::run({rule}, home.path(), {},
                                          [&](Stage stage, const PromptLabOutcome& sofar) {
                                              stages.push_back(stage);
                                              if (stage == Stage::scanned) {
                                                  promptsAtScan = sofar.promptCount;
                                                  candidatesAtScan = sofar.candidates.size();
                                              }
                                          });
    EXPECT_EQ(stages, (std::vector<Stage>{Stage::scanned, Stage::conventionsRead,
                                          Stage::candidatesBuilt, Stage::usageCounted}));
    EXPECT_EQ(promptsAtScan, 1);
    EXPECT_EQ(candidatesAtScan, 0u);
    EXPECT_EQ(outcome.promptCount, 1);
    EXPECT_EQ(outcome.dayCount, 1);
    EXPECT_EQ(outcome.scannedFiles, 1);
    ASSERT_EQ(outcome.usage.size(), 1u);
    EXPECT_EQ(outcome.usage[0].count, 0);
}

TEST(PromptLabPipelineTest, DaysAreCountedOverDatedPromptsOnly) {
    tamsel::testing::TemporaryFolder home;
    auto line = [](std::string_view text, std::string_view time) {
        return std::string(R"({"type":"user","userType":"external","sessionId":"s","cwd":"/w",)"
                           R"("message":{"role":"user","content":")") +
               std::string(text) + R"("})" + std::string(time) + "}\n";
    };
    home.write(".claude/projects/p/s.jsonl",
               line("One.", R"(,"timestamp":"2026-03-01T09:00:00Z")") + line("Undated.", "") +
                   line("Two.", R"(,"timestamp":"2026-03-03T08:00:00Z")"));
    auto outcome = PromptLabPipeline::run({}, home.path());
    EXPECT_EQ(outcome.promptCount, 3);
    EXPECT_EQ(outcome.dayCount, 2);

    tamsel::testing::TemporaryFolder undated;
    undated.write(".claude/projects/p/s.jsonl", line("Undated.", ""));
    EXPECT_EQ(PromptLabPipeline::run({}, undated.path()).dayCount, 1);
}
