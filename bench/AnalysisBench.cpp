// The whole Prompt Lab analysis of one home folder, timed stage by stage:
//   tamsel-analysis-bench HOME [RUNS]
// HOME holds .claude/projects and, optionally, .config/tamsel/config.json
// (whose prompts are credited in the usage report).
//
//   tamsel-analysis-bench --write-history PROMPTS HOME
// first writes a history of that many hand-typed prompts (and an assistant
// reply after each) into HOME, which must not hold one yet.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include <sys/resource.h>

#include "app/PromptLabPipeline.h"
#include "bench/SyntheticPrompts.h"
#include "core/config/ConfigCodec.h"
#include "core/config/ConfigStore.h"

using namespace tamsel;

namespace {

std::string isoTime(Timestamp time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    const std::chrono::year_month_day day{std::chrono::floor<std::chrono::days>(seconds)};
    const std::chrono::hh_mm_ss clock{seconds - std::chrono::floor<std::chrono::days>(seconds)};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()), static_cast<long long>(clock.hours().count()),
                  static_cast<long long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()));
    return buffer;
}

// One transcript per session, each prompt followed by a short assistant reply.
int writeHistory(std::size_t prompts, const std::filesystem::path& home) {
    const auto projects = home / ".claude" / "projects";
    if (std::filesystem::exists(projects)) {
        std::fprintf(stderr, "%s already holds a history\n", projects.c_str());
        return 1;
    }
    const auto records =
        bench::Generator(42).records(prompts, std::max<std::size_t>(prompts / 30, 1));
    std::map<std::string, std::string> files;
    for (const PromptRecord& record : records) {
        std::string& file = files[record.sessionID];
        std::string cwd;
        ConfigCodec::appendQuoted(cwd, record.project);
        std::string text;
        ConfigCodec::appendQuoted(text, record.text);
        file += R"({"type":"user","userType":"external","isSidechain":false,"sessionId":")" +
                record.sessionID + R"(","cwd":)" + cwd + R"(,"message":{"role":"user","content":)" +
                text + R"(},"timestamp":")" + isoTime(record.timestamp) + "\"}\n";
        file +=
            R"({"type":"assistant","message":{"role":"assistant","content":[{"type":"text","text":"Done."}]}})"
            "\n";
    }
    std::size_t index = 0;
    for (const auto& [session, contents] : files) {
        const auto folder = projects / ("project-" + std::to_string(index++ % 40));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (session + ".jsonl"), std::ios::binary) << contents;
    }
    std::printf("wrote %zu prompts in %zu transcripts under %s\n", records.size(), files.size(),
                projects.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write-history") {
        return writeHistory(static_cast<std::size_t>(std::max(0L, std::atol(argv[2]))), argv[3]);
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s HOME [RUNS]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path home = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    // Read only: a missing configuration means no prompts, not a new file.
    std::vector<Rule> rules;
    if (std::filesystem::exists(ConfigStore::fileURL(home))) {
        rules = ConfigStore(ConfigStore::fileURL(home)).load(Language::en).config.rules;
    }

    for (int run = 1; run <= runs; ++run) {
        const PromptLabOutcome outcome = PromptLabPipeline::run(rules, home);
        const double total = outcome.scanSeconds + outcome.conventionSeconds +
                             outcome.candidateSeconds + outcome.usageSeconds;
        std::printf("run %d: files=%lld records=%lld skipped=%lld conventionFiles=%lld "
                    "sections=%lld candidates=%zu usage=%zu\n",
                    run, static_cast<long long>(outcome.scannedFiles),
                    static_cast<long long>(outcome.promptCount),
                    static_cast<long long>(outcome.skippedLines),
                    static_cast<long long>(outcome.conventionFileCount),
                    static_cast<long long>(outcome.sectionCount), outcome.candidates.size(),
                    outcome.usage.size());
        std::printf("       scan %.3fs  conventions %.3fs  candidates %.3fs  usage %.3fs  "
                    "total %.3fs\n",
                    outcome.scanSeconds, outcome.conventionSeconds, outcome.candidateSeconds,
                    outcome.usageSeconds, total);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
