// One transcript file of arbitrary bytes in a home folder of its own: the
// scanner must not crash, and the whole-history scan must agree with the
// reading of that one file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/analysis/TranscriptScanner.h"
#include "core/toolkit/TextToolkit.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using tamsel::fuzz::check;

namespace {

const std::vector<Rule>& rules() {
    static const std::vector<Rule> value = [] {
        Rule plan;
        plan.id = "0B5F6C1E-8A44-4F43-9F0A-2E3C1D7B9A10";
        plan.text = "Investigate and plan only.";
        Rule tests;
        tests.id = "1C6A7D2F-9B55-4A54-8A1B-3F4D2E8C0B21";
        tests.text = "Run the tests.";
        tests.separator = " ";
        Rule empty;
        empty.id = "2D7B8E3A-0C66-4B65-9B2C-4A5E3F9D1C32";
        return std::vector<Rule>{plan, tests, empty};
    }();
    return value;
}

bool isRuleID(const std::optional<std::string>& id) {
    return std::any_of(rules().begin(), rules().end(),
                       [&](const Rule& rule) { return rule.id == id; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testing::TemporaryFolder home;
    static const std::filesystem::path root = home / ".claude/projects";
    const std::filesystem::path file =
        home.write(".claude/projects/-home-user-app/session.jsonl",
                   std::string_view(reinterpret_cast<const char*>(data), size));

    const TranscriptScanner::FileResult one = TranscriptScanner::scanFile(file, rules());
    const TranscriptScanner::Result all = TranscriptScanner::scan(
        root, rules(), [] { return false; }, 1);

    check(all.scannedFiles == 1, "the one transcript is scanned");
    check(all.skippedLines == one.skippedLines, "skipped lines agree");
    std::vector<PromptRecord> expected = one.records;
    std::stable_sort(
        expected.begin(), expected.end(),
        [](const PromptRecord& a, const PromptRecord& b) { return a.timestamp < b.timestamp; });
    check(all.records == expected, "the scan is the file's records by time");

    std::int64_t index = 0;
    for (const PromptRecord& record : one.records) {
        check(record.indexInSession == index++, "records are numbered in line order");
        check(!record.text.empty(), "no empty prompt");
        check(TextToolkit::trimWhitespaceAndNewlines(record.text) == record.text,
              "prompts are trimmed");
        check(!record.firedRuleID || isRuleID(record.firedRuleID),
              "a fired rule is one of the rules");
        check(!record.gitBranch || !record.gitBranch->empty(), "no empty branch");
    }
    return 0;
}
