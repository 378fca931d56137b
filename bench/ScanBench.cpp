// Scans the transcripts of a home folder as the Prompt Lab does and prints
// counts, wall time and peak memory:
//   tamsel-scan-bench HOME_DIR [WORKERS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include <simdjson.h>

#include "core/analysis/RuleUsageReport.h"
#include "core/analysis/TranscriptScanner.h"

using namespace tamsel;

namespace {

// Heap bytes the records hold (strings beyond their inline storage).
std::size_t recordBytes(const std::vector<PromptRecord>& records) {
    auto heap = [](const std::string& text) {
        return text.capacity() > 15 ? text.capacity() + 1 : 0;
    };
    std::size_t bytes = records.capacity() * sizeof(PromptRecord);
    for (const PromptRecord& record : records) {
        bytes += heap(record.sessionID) + heap(record.project) + heap(record.text);
        bytes += record.gitBranch ? heap(*record.gitBranch) : 0;
        bytes += record.firedRuleID ? heap(*record.firedRuleID) : 0;
    }
    return bytes;
}

// The prompts of DIR/.config/tamsel/config.json, so that appended texts are cut
// as in the application. Only the fields the scan uses.
std::vector<Rule> loadRules(const std::filesystem::path& home) {
    std::vector<Rule> rules;
    simdjson::dom::parser parser;
    simdjson::dom::element config;
    simdjson::dom::array list;
    if (parser.load((home / ".config" / "tamsel" / "config.json").string()).get(config) ||
        config["rules"].get_array().get(list)) {
        return rules;
    }
    for (simdjson::dom::element item : list) {
        Rule rule;
        std::string_view text;
        if (!item["id"].get_string().get(text)) {
            rule.id = text;
        }
        if (!item["name"].get_string().get(text)) {
            rule.name = text;
        }
        if (!item["text"].get_string().get(text)) {
            rule.text = text;
        }
        if (!item["separator"].get_string().get(text)) {
            rule.separator = std::string(text);
        }
        rules.push_back(std::move(rule));
    }
    return rules;
}

// What the generator says the scan should find, when it left a manifest.
void printExpectation(const std::filesystem::path& home) {
    simdjson::dom::parser parser;
    simdjson::dom::element manifest;
    if (parser.load((home / "gen-history-manifest.json").string()).get(manifest)) {
        return;
    }
    std::int64_t files = 0, records = 0, skipped = 0, bytes = 0;
    const auto expected = manifest["scanner_expectation"];
    if (!expected["scanned_files"].get(files) && !expected["records"].get(records) &&
        !expected["skipped"].get(skipped)) {
        std::printf("expected: files %lld, records %lld, skipped lines %lld\n",
                    static_cast<long long>(files), static_cast<long long>(records),
                    static_cast<long long>(skipped));
    }
    if (!manifest["projects_dir"]["bytes"].get(bytes)) {
        std::printf("history size %.1f MiB\n", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s HOME_DIR [WORKERS]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path home = argv[1];
    const std::filesystem::path root = home / ".claude" / "projects";
    const std::vector<Rule> rules = loadRules(home);
    const unsigned workers = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 0;

    const auto start = std::chrono::steady_clock::now();
    const TranscriptScanner::Result result = TranscriptScanner::scan(
        root, rules, [] { return false; }, workers);
    const std::vector<RuleUsage> used = RuleUsageReport::build(result.records, rules);
    const auto stop = std::chrono::steady_clock::now();

    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const double seconds = std::chrono::duration<double>(stop - start).count();
    const double mib = 1024.0 * 1024.0;
    const double peak = static_cast<double>(usage.ru_maxrss) * 1024.0 / mib;
    const double held = static_cast<double>(recordBytes(result.records)) / mib;
    std::printf("files %lld\nrecords %zu\nskipped lines %lld\nwall time %.3f s\n"
                "peak RSS %.1f MiB\nrecords hold %.1f MiB\npeak above records %.1f MiB\n",
                static_cast<long long>(result.scannedFiles), result.records.size(),
                static_cast<long long>(result.skippedLines), seconds, peak, held, peak - held);
    std::int64_t fired = 0;
    for (const RuleUsage& entry : used) {
        fired += entry.count;
    }
    std::printf("rules %zu, records with a rule %lld\n", rules.size(),
                static_cast<long long>(fired));
    printExpectation(home);
    return 0;
}
