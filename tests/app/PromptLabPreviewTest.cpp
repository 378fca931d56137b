#include "app/PromptLabPreview.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/config/ConfigCodec.h"
#include "core/config/ConfigStore.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using tamsel::testing::TemporaryFolder;

namespace {

// Answers at once, always with the same draft.
class ImmediateLanguageModel final : public LanguageModel {
public:
    DrafterAvailability availability() const override { return DrafterAvailability::available; }
    void respond(const std::string&, const std::string&, const GenerationOptions&,
                 std::function<void(std::optional<GeneratedPromptDraft>)> completion) override {
        ++requests;
        completion(GeneratedPromptDraft{"Drafted", "Do it\nwell."});
    }
    int requests = 0;
};

std::string userLine(std::string_view session, std::string_view cwd, std::string_view text) {
    return R"({"type":"user","userType":"external","sessionId":")" + std::string(session) +
           R"(","cwd":")" + std::string(cwd) + R"(","message":{"role":"user","content":")" +
           std::string(text) + R"("},"timestamp":"2026-03-01T09:00:00Z"})" + "\n";
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

class PromptLabPreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config config;
        config.language = LanguagePreference::en;
        config.rules = {{"R1", "Tests first", true, "cmd+1", "", "Run the tests.", std::nullopt},
                        {"R2", "Unused", true, "cmd+2", "", "Never typed.", std::nullopt}};
        home.write(".config/tamsel/config.json", ConfigCodec::encode(config));
        const std::string project = (home / "work/app").string();
        home.write("work/app/CLAUDE.md", "# Testing\n\n- Always run the tests before you commit.\n"
                                         "- **Never** mock the database in tests.\n"
                                         "- Keep each test under a second.\n");
        home.write(".claude/projects/app/a.jsonl",
                   userLine("a", project, "Fix the login bug.\\n\\nRun the tests."));
        home.write(".claude/projects/app/b.jsonl", userLine("b", project, "Add a logout button."));
    }

    std::vector<std::string> run(std::int64_t limit, std::shared_ptr<LanguageModel> model) {
        std::ostringstream out;
        EXPECT_EQ(PromptLabPreview::run(limit, {home.path(), {"en-US"}, std::move(model)}, out), 0);
        return lines(out.str());
    }

    TemporaryFolder home;
};

} // namespace

TEST_F(PromptLabPreviewTest, PrintsCountsUsageAndSourceWordingWithoutAModel) {
    auto output = run(5, std::make_shared<NoLanguageModel>());
    ASSERT_GE(output.size(), 9u);
    EXPECT_EQ(output[0], "scan: files=2 records=2 in 0.0s");
    EXPECT_EQ(output[1], "conventions: files=1 sections=1");
    EXPECT_EQ(output[2], "candidates: 1");
    EXPECT_EQ(output[3], "usage: 1  Tests first");
    EXPECT_EQ(output[4], "usage: 0  Unused");
    EXPECT_EQ(output[5], "drafter availability: unsupportedOS");
    EXPECT_EQ(output[6], "--- [convention] Testing");
    EXPECT_EQ(output[7], "    name: Testing  (原文)");
    EXPECT_EQ(output[8], "    text: Always run the tests before you commit. / Never mock the "
                         "database in tests. / Keep each test under a second.");
    EXPECT_EQ(output[9], "    0.0s");
    EXPECT_EQ(output.size(), 10u);
}

TEST_F(PromptLabPreviewTest, DraftsOnlyUpToTheLimit) {
    auto model = std::make_shared<ImmediateLanguageModel>();
    auto output = run(1, model);
    ASSERT_EQ(output.size(), 11u);
    EXPECT_EQ(output[5], "drafter availability: available");
    EXPECT_EQ(output[7], "    name: Drafted");
    // A drafted text is printed as it is, line breaks included.
    EXPECT_EQ(output[8], "    text: Do it");
    EXPECT_EQ(output[9], "well.");
    EXPECT_EQ(model->requests, 1);

    output = run(0, model);
    EXPECT_EQ(output.size(), 6u);
    EXPECT_EQ(model->requests, 1);
}

TEST(PromptLabPreviewEmpty, NoHistoryStillSucceeds) {
    TemporaryFolder home;
    std::ostringstream out;
    EXPECT_EQ(PromptLabPreview::run(5, {home.path(), {}, std::make_shared<NoLanguageModel>()}, out),
              0);
    auto output = lines(out.str());
    // The first run creates the configuration file with its three default prompts.
    EXPECT_TRUE(std::filesystem::exists(ConfigStore::fileURL(home.path())));
    ASSERT_EQ(output.size(), 7u);
    EXPECT_EQ(output[0], "scan: files=0 records=0 in 0.0s");
    EXPECT_EQ(output[1], "conventions: files=0 sections=0");
    EXPECT_EQ(output[2], "candidates: 0");
    EXPECT_EQ(output[3].rfind("usage: 0  ", 0), 0u);
    EXPECT_EQ(output[6], "drafter availability: unsupportedOS");
}
