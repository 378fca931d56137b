// The whole Prompt Lab analysis of one home folder, timed stage by stage:
//   tamsel-analysis-bench HOME [RUNS]
// HOME holds .claude/projects and, optionally, .config/tamsel/config.json
// (whose prompts are credited in the usage report).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "app/PromptLabPipeline.h"
#include "core/ConfigStore.h"

using namespace tamsel;

int main(int argc, char** argv) {
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
