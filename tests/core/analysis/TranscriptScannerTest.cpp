#include "core/analysis/TranscriptScanner.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/config/ConfigCodec.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using namespace std::chrono;
using tamsel::testing::TemporaryFolder;
namespace Scanner = tamsel::TranscriptScanner;

namespace {

std::string quoted(std::string_view text) {
    std::string out;
    ConfigCodec::appendQuoted(out, text);
    return out;
}

// A user line as Claude Code writes it; `extra` goes in front of the usual keys.
std::string userLine(std::string_view content, std::string_view extra = "",
                     std::string_view time = "2025-06-01T12:00:00Z") {
    return "{" + std::string(extra) +
           R"("parentUuid":null,"userType":"external","cwd":"/home/u/app",)"
           R"("sessionId":"s-1","gitBranch":"main","type":"user","message":{"role":"user","content":)" +
           std::string(content) + R"(},"timestamp":")" + std::string(time) + "\"}\n";
}

std::string prompt(std::string_view text, std::string_view extra = "",
                   std::string_view time = "2025-06-01T12:00:00Z") {
    return userLine(quoted(text), extra, time);
}

std::vector<std::string> texts(const std::vector<PromptRecord>& records) {
    std::vector<std::string> out;
    for (const PromptRecord& record : records) {
        out.push_back(record.text);
    }
    return out;
}

Rule rule(std::string id, std::string text, std::optional<std::string> separator = std::nullopt) {
    Rule made;
    made.id = std::move(id);
    made.name = made.id;
    made.text = std::move(text);
    made.separator = std::move(separator);
    return made;
}

Timestamp at(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0,
             int micro = 0) {
    return Timestamp(sys_days(std::chrono::year(year) / month / day)) + hours(hour) +
           minutes(minute) + seconds(second) + microseconds(micro);
}

} // namespace

TEST(TranscriptScanner, KeepsOnlyHandTypedPromptsAndNumbersThemWithoutGaps) {
    TemporaryFolder folder;
    const std::string assistant =
        R"({"type":"assistant","message":{"content":[{"type":"text","text":"hi"}]}})"
        "\n";
    const auto file = folder.write(
        "p/s.jsonl",
        prompt("first") + assistant +
            R"({"type":"user","userType":"internal","message":{"content":"no"}})"
            "\n" +
            prompt("meta", R"("isMeta":true,)") + prompt("side", R"("isSidechain":true,)") +
            prompt("summary", R"("isCompactSummary":true,)") +
            prompt("sdk", R"("promptSource":"sdk",)") +
            prompt("system", R"("promptSource":"system",)") +
            prompt("second", R"("promptSource":"typed","isMeta":"yes",)") +
            prompt("third", R"("promptSource":7,)") +
            R"({"type":"user","userType":"external","message":"flat"})"
            "\n" +
            userLine("42") + prompt("  \n\t ") + prompt("<command-name>/clear</command-name>") +
            prompt("<local-command-stdout>done</local-command-stdout>") +
            prompt("<command-message>x</command-message>") + prompt("<bash-input>ls</bash-input>") +
            prompt("<bash-stdout>a b</bash-stdout>") + prompt("x <bash-stderr>boom</bash-stderr>") +
            prompt("[Request interrupted by user for tool use]") +
            prompt("<system-reminder>be brief</system-reminder>") +
            prompt("<system-reminder> left open") + prompt("  fourth\n"));
    const Scanner::FileResult result = Scanner::scanFile(file, {});
    EXPECT_EQ(texts(result.records),
              (std::vector<std::string>{"first", "second", "third", "<system-reminder> left open",
                                        "fourth"}));
    for (std::size_t i = 0; i < result.records.size(); ++i) {
        EXPECT_EQ(result.records[i].indexInSession, static_cast<std::int64_t>(i));
    }
    EXPECT_EQ(result.skippedLines, 0);

    const PromptRecord& first = result.records.front();
    EXPECT_EQ(first.sessionID, "s-1");
    EXPECT_EQ(first.project, "/home/u/app");
    EXPECT_EQ(first.gitBranch, "main");
    EXPECT_EQ(first.timestamp, at(2025, 6, 1, 12));
    EXPECT_FALSE(first.firedRuleID);
}

TEST(TranscriptScanner, MissingFieldsAndTheirDefaults) {
    TemporaryFolder folder;
    const auto file = folder.write(
        "s.jsonl",
        R"({"type":"user","userType":"external","gitBranch":"","sessionId":3,"message":{"content":"a"}})"
        "\n"
        R"({"type":"user","userType":"external","gitBranch":7,"timestamp":"2025-06-01 12:00:00Z","message":{"content":"b"}})");
    const auto records = Scanner::scanFile(file, {}).records;
    ASSERT_EQ(records.size(), 2u);
    for (const PromptRecord& record : records) {
        EXPECT_EQ(record.sessionID, "");
        EXPECT_EQ(record.project, "");
        EXPECT_FALSE(record.gitBranch);
        EXPECT_EQ(record.timestamp, distantPast);
    }
}

TEST(TranscriptScanner, ParsesOnlyMarkedLinesAndCountsTheBrokenOnes) {
    const std::string good = prompt("kept");
    const std::string cutOff = good.substr(0, good.find("content"));
    const std::vector<std::string_view> lines{
        // Counted: a user marker, but not a JSON object.
        cutOff, R"([{"type":"user"}])", R"({"type":"user","x":NaN})",
        "{\"type\":\"user\",\"x\":\"\xff\"}", R"({"type":"user"}{"type":"user"})",
        R"({"type":"user","n":01,"s":"\ud83d"})", R"({"type":"user","s":"\x \ud83d"})",
        // Never parsed: no marker.
        "{not json}",
        // The last of duplicate keys counts, both ways round.
        R"({"type":"assistant","type":"user","userType":"external","message":{"content":"dup"}})",
        R"({"type":"user","userType":"external","type":"assistant","message":{"content":"no"}})",
        R"({"type":"user","userType":"external","message":{"content":"old","content":"new"}})",
        R"({"type": "user","userType":"external","message":{"content":"spaced"}})",
        // Valid JSON the parser needs a second look at: a lone surrogate, huge numbers.
        R"({"type":"user","userType":"external","n":123456789012345678901234567890,"e":1e400,)"
        R"("message":{"content":"cut \ud83d here"}})",
        good};
    std::string content;
    for (std::string_view line : lines) {
        content.append(line).append("\n");
    }
    TemporaryFolder folder;
    const Scanner::FileResult result = Scanner::scanFile(folder.write("s.jsonl", content), {});
    EXPECT_EQ(texts(result.records),
              (std::vector<std::string>{"dup", "new", "spaced", "cut \xEF\xBF\xBD here", "kept"}));
    EXPECT_EQ(result.skippedLines, 7);
}

TEST(TranscriptScanner, ContentArrays) {
    EXPECT_EQ(Scanner::plainText(R"("as is  ")"), "as is  ");
    EXPECT_EQ(
        Scanner::plainText(
            R"([{"type":"text","text":"look"},{"type":"image","source":{}},{"type":"text","text":"here"}])"),
        "look\nhere");
    EXPECT_EQ(Scanner::plainText(R"([{"type":"tool_result","content":"x"}])"), std::nullopt);
    EXPECT_EQ(Scanner::plainText(R"([{"type":"text","text":5}])"), std::nullopt);
    EXPECT_EQ(Scanner::plainText(R"([{"type":"text","text":"a"},"b"])"), std::nullopt);
    EXPECT_EQ(Scanner::plainText(R"([])"), std::nullopt);
    EXPECT_EQ(Scanner::plainText(R"(12)"), std::nullopt);
    EXPECT_EQ(Scanner::plainText(std::nullopt), std::nullopt);
    // What a transcript line may hold, the content alone may hold too.
    EXPECT_EQ(Scanner::plainText(R"("cut \ud83d here")"), "cut \xEF\xBF\xBD here");
    EXPECT_EQ(Scanner::plainText(R"([{"type":"text","text":"a","n":1e400}])"), "a");
    EXPECT_EQ(Scanner::plainText(R"("bad \x")"), std::nullopt);

    TemporaryFolder folder;
    const auto file = folder.write(
        "s.jsonl", userLine(R"([{"type":"text","text":"one"},{"type":"image"}])") +
                       userLine(R"([{"type":"tool_result","tool_use_id":"t","content":"out"}])") +
                       userLine(R"([{"type":"text","text":"a"},{"type":"text","text":"b"}])"));
    const auto records = Scanner::scanFile(file, {}).records;
    EXPECT_EQ(texts(records), (std::vector<std::string>{"one", "a\nb"}));
    EXPECT_EQ(records.back().indexInSession, 1);
}

TEST(TranscriptScanner, SeparatesAnAppendedRule) {
    const std::vector<Rule> rules{rule("R1", "Keep the diff small."),
                                  rule("R2", "Write tests.\nRun them.", std::string("\r\n---\r\n")),
                                  rule("BLANK", " \n ")};
    using Separated = Scanner::SeparatedText;
    // Separator and text, the same flattened, the text alone.
    EXPECT_EQ(Scanner::separateAppendedRule("Fix the bug.\n\nKeep the diff small.", rules),
              (Separated{"Fix the bug.", "R1"}));
    EXPECT_EQ(Scanner::separateAppendedRule("Fix the bug. Keep the diff small.", rules),
              (Separated{"Fix the bug.", "R1"}));
    EXPECT_EQ(Scanner::separateAppendedRule("Fix the bug.Keep the diff small.", rules),
              (Separated{"Fix the bug.", "R1"}));
    EXPECT_EQ(Scanner::separateAppendedRule("Go\r\n---\r\nWrite tests.\nRun them.", rules),
              (Separated{"Go", "R2"}));
    EXPECT_EQ(Scanner::separateAppendedRule("Go --- Write tests. Run them.", rules),
              (Separated{"Go", "R2"}));
    EXPECT_EQ(Scanner::separateAppendedRule("Keep the diff small. Or not", rules),
              (Separated{"Keep the diff small. Or not", std::nullopt}));
    EXPECT_EQ(Scanner::separateAppendedRule("  x ", {}), (Separated{"  x ", std::nullopt}));

    // The first rule in order wins, even over a longer tail of a later one.
    const std::vector<Rule> overlapping{rule("SHORT", "small."), rule("LONG", "diff small.")};
    EXPECT_EQ(Scanner::separateAppendedRule("Keep the diff small.", overlapping).ruleID, "SHORT");

    // A tail must cover whole characters: a combining accent does not end "café".
    EXPECT_EQ(Scanner::separateAppendedRule("cafe\xCC\x81", {rule("ACCENT", "\xCC\x81")}).ruleID,
              std::nullopt);

    // In a transcript: a prompt that is nothing but the rule leaves no record.
    TemporaryFolder folder;
    const auto file = folder.write("s.jsonl", prompt("Do it.\n\nKeep the diff small.") +
                                                  prompt("Keep the diff small.") + prompt("Plain"));
    const auto records = Scanner::scanFile(file, rules).records;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, "Do it.");
    EXPECT_EQ(records[0].firedRuleID, "R1");
    EXPECT_EQ(records[1].indexInSession, 1);
}

TEST(TranscriptScanner, Timestamps) {
    EXPECT_EQ(Scanner::date("2025-06-01T12:34:56Z"), at(2025, 6, 1, 12, 34, 56));
    EXPECT_EQ(Scanner::date("2025-06-01T12:34:56.789Z"), at(2025, 6, 1, 12, 34, 56, 789000));
    EXPECT_EQ(Scanner::date("2025-06-01T12:34:56.123456789Z"), at(2025, 6, 1, 12, 34, 56, 123456));
    EXPECT_EQ(Scanner::date("2025-06-01T21:34:56.5+09:00"), at(2025, 6, 1, 12, 34, 56, 500000));
    EXPECT_EQ(Scanner::date("2025-06-01T00:04:56-01:30"), at(2025, 6, 1, 1, 34, 56));
    EXPECT_EQ(Scanner::date("2024-02-29T00:00:00Z"), at(2024, 2, 29));
    for (const char* bad :
         {"", "2025-06-01 12:34:56Z", "2025-06-01t12:34:56Z", "2025-06-01T12:34:56z",
          "2025-06-01T12:34:56", "2025-06-01", "2025-06-01T12:34:56.Z", "2025-06-01T12:34:56+0900",
          "2025-13-01T00:00:00Z", "2025-02-29T00:00:00Z", "2025-06-31T00:00:00Z",
          "2025-06-01T24:00:00Z", "2025-06-01T12:60:00Z", "2025-06-01T12:00:60Z",
          "2025-06-01T12:00:00+24:00", "2025-06-01T12:00:00Z ", "2025-6-01T12:00:00Z"}) {
        EXPECT_EQ(Scanner::date(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(Scanner::date(std::nullopt), std::nullopt);
}

TEST(TranscriptScanner, FindsTranscriptFiles) {
    TemporaryFolder folder;
    const auto& root = folder.path();
    for (const char* name : {"b/z.jsonl", "b/\xC3\xA9.jsonl", "b/Z.jsonl", "a/deep/er/x.jsonl",
                             "a/x.JSONL", "a/x.json", "a/.hidden.jsonl", "a/.trash/y.jsonl",
                             "a/s/subagents/agent.jsonl", "a/subagents.jsonl", "top.jsonl"}) {
        folder.write(name, "");
    }
    std::filesystem::create_directories(root / "dir.jsonl" / "in");
    folder.write("dir.jsonl/in/n.jsonl", "");
    std::filesystem::create_directory_symlink(root / "a", root / "link");
    std::filesystem::create_symlink(root / "top.jsonl", root / "alias.jsonl");

    std::vector<std::filesystem::path> expected;
    for (const char* name :
         {"a/deep/er/x.jsonl", "a/subagents.jsonl", "alias.jsonl", "b/Z.jsonl", "b/z.jsonl",
          "b/\xC3\xA9.jsonl", "dir.jsonl", "dir.jsonl/in/n.jsonl", "top.jsonl"}) {
        expected.push_back(root / name);
    }
    EXPECT_EQ(Scanner::transcriptFiles(root), expected);
    EXPECT_EQ(Scanner::transcriptFiles(root.string() + "/"), expected);
    EXPECT_TRUE(Scanner::transcriptFiles(root / "missing").empty());

    // Only the part below the root decides: a home that lies in a folder
    // called "subagents" keeps its history.
    const auto nested = folder.write("home/subagents/projects/p/s.jsonl", "");
    EXPECT_EQ(Scanner::transcriptFiles(root / "home" / "subagents" / "projects"),
              std::vector<std::filesystem::path>{nested});
}

TEST(TranscriptScanner, ScanMergesFilesByTimeThenFileThenLine) {
    TemporaryFolder folder;
    folder.write("b.jsonl", prompt("b-late", "", "2025-06-02T00:00:00Z") +
                                prompt("b-tie-1", "", "2025-06-01T00:00:00Z") +
                                prompt("b-tie-2", "", "2025-06-01T00:00:00.000Z"));
    folder.write("a.jsonl", prompt("a-tie", "", "2025-06-01T00:00:00Z") +
                                prompt("a-undated", "", "yesterday") + "{\"type\":\"user\"\n");
    std::filesystem::create_directories(folder.path() / "folder.jsonl");
    ASSERT_EQ(::mkfifo((folder.path() / "pipe.jsonl").c_str(), 0600), 0);

    const Scanner::Result result = Scanner::scan(folder.path(), {}, [] { return false; });
    EXPECT_EQ(texts(result.records),
              (std::vector<std::string>{"a-undated", "a-tie", "b-tie-1", "b-tie-2", "b-late"}));
    EXPECT_EQ(result.scannedFiles, 4); // the folder and the FIFO count, and give nothing
    EXPECT_EQ(result.skippedLines, 1);
    EXPECT_EQ(result.period(), (DateRange{distantPast, at(2025, 6, 2)}));
    EXPECT_EQ(Scanner::Result{}.period(), std::nullopt);
    EXPECT_EQ(Scanner::scan(folder.path() / "none", {}, [] { return false; }), Scanner::Result{});
}

TEST(TranscriptScanner, CancellationIsAskedBeforeEachFileInOrder) {
    TemporaryFolder folder;
    for (int i = 0; i < 6; ++i) {
        folder.write("f" + std::to_string(i) + ".jsonl", prompt("p" + std::to_string(i)));
    }
    for (unsigned workers : {1u, 2u, 4u}) {
        EXPECT_EQ(Scanner::scan(
                      folder.path(), {}, [] { return true; }, workers),
                  Scanner::Result{});
        int asked = 0;
        const Scanner::Result result = Scanner::scan(
            folder.path(), {}, [&] { return ++asked == 3; }, workers);
        EXPECT_EQ(asked, 3);
        EXPECT_EQ(result.scannedFiles, 2);
        EXPECT_EQ(texts(result.records), (std::vector<std::string>{"p0", "p1"}));
    }
}

TEST(TranscriptScanner, ParallelScanEqualsSequential) {
    TemporaryFolder folder;
    const std::vector<Rule> rules{rule("R", "Be careful.")};
    for (int i = 0; i < 40; ++i) {
        std::string content;
        for (int j = 0; j < i % 7; ++j) {
            const std::string time = "2025-06-0" + std::to_string(1 + (i * j) % 3) + "T00:00:00Z";
            content += prompt("p" + std::to_string(i) + "." + std::to_string(j) +
                                  (j % 2 ? "\n\nBe careful." : ""),
                              "", time);
            content += j % 3 ? "" : "{\"type\":\"user\" broken\n";
        }
        folder.write("d" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".jsonl", content);
    }
    const auto never = [] { return false; };
    const Scanner::Result sequential = Scanner::scan(folder.path(), rules, never, 1);
    EXPECT_EQ(sequential.scannedFiles, 40);
    EXPECT_GT(sequential.skippedLines, 0);
    EXPECT_EQ(Scanner::scan(folder.path(), rules, never, 2), sequential);
    EXPECT_EQ(Scanner::scan(folder.path(), rules, never, 5), sequential);
}

TEST(TranscriptScanner, AnOverlongLineIsCountedAndTheRestStillRead) {
    TemporaryFolder folder;
    std::string huge = "{\"type\":\"user\",\"pad\":\"";
    huge.append((std::size_t{64} << 20) - huge.size() + 1, 'x');
    const auto file = folder.write("s.jsonl", prompt("before") + huge + "\n" + prompt("after"));
    const Scanner::FileResult result = Scanner::scanFile(file, {});
    EXPECT_EQ(texts(result.records), (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(result.records.back().indexInSession, 1);
    EXPECT_EQ(result.skippedLines, 1);
    EXPECT_EQ(Scanner::scanFile(folder.path() / "missing.jsonl", {}), Scanner::FileResult{});
}

TEST(TranscriptScanner, LastLineWithoutLineFeedAndCrlfFiles) {
    TemporaryFolder folder;
    std::string first = prompt("one");
    first.insert(first.size() - 1, "\r");
    std::string last = prompt("two");
    last.pop_back();
    const auto file = folder.write("s.jsonl", first + "\n\n" + last);
    EXPECT_EQ(texts(Scanner::scanFile(file, {}).records), (std::vector<std::string>{"one", "two"}));
}

TEST(TranscriptScanner, MachineGeneratedTexts) {
    EXPECT_TRUE(Scanner::isMachineGenerated("x <command-name>/init</command-name>"));
    EXPECT_TRUE(Scanner::isMachineGenerated("<bash-input>make</bash-input>"));
    EXPECT_TRUE(Scanner::isMachineGenerated("[Request interrupted by user]"));
    EXPECT_FALSE(Scanner::isMachineGenerated("Please: [Request interrupted by user]"));
    EXPECT_TRUE(Scanner::isMachineGenerated("<system-reminder>a</system-reminder>"));
    EXPECT_FALSE(Scanner::isMachineGenerated("<system-reminder>a</system-reminder> and more"));
    EXPECT_FALSE(Scanner::isMachineGenerated("Run the command-name check"));
}
