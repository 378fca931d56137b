// Candidate building over a synthetic history of 100,000 hand-typed prompts
// in English and Japanese: tasks, follow-ups, corrections, questions,
// acknowledgements, pasted logs and code, and habitual instructions retyped
// with small variations, as a heavy user's history holds them.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/SyntheticPrompts.h"
#include "core/analysis/CandidateBuilder.h"
#include "core/analysis/ConventionIndex.h"
#include "core/analysis/SentenceIndex.h"

using namespace tamsel;

namespace {

using namespace tamsel::bench;

const std::vector<PromptRecord>& history() {
    static const std::vector<PromptRecord> records = Generator(42).records(100000, 3000);
    return records;
}

std::vector<ConventionSection> conventionSections() {
    std::vector<ConventionSection> sections;
    for (std::size_t i = 0; i < habits.size(); i += 2) {
        sections.push_back({"Rules " + std::to_string(i),
                            "project-" + std::to_string(i),
                            std::nullopt,
                            {habits[i].en.front(), habits[i].ja.front(), habits[i + 1].en.back()},
                            static_cast<int>(i % 3)});
    }
    return sections;
}

// With TAMSEL_BENCH_HOME naming a home made by gen-history, its CLAUDE.md
// files (the home one and every project folder's) are read as well.
std::optional<std::string> benchHome() {
    const char* home = std::getenv("TAMSEL_BENCH_HOME");
    return home != nullptr && *home != '\0' ? std::optional<std::string>(home) : std::nullopt;
}

std::vector<std::string> projectsWithConventions(const std::string& home) {
    std::vector<std::string> projects;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(home, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->path().filename() == "CLAUDE.md" &&
            it->path().parent_path().filename() != ".claude") {
            projects.push_back(it->path().parent_path().string());
        }
    }
    return projects;
}

void BM_ConventionSections(benchmark::State& state) {
    const auto home = benchHome();
    if (!home) {
        state.SkipWithError("set TAMSEL_BENCH_HOME to a gen-history home");
        return;
    }
    const auto projects = projectsWithConventions(*home);
    std::size_t sections = 0;
    std::size_t files = 0;
    for (auto _ : state) {
        auto found = ConventionIndex::conventionFiles(projects, *home);
        auto result = ConventionIndex::sections(found, *home);
        files = found.size();
        sections = result.size();
        benchmark::DoNotOptimize(result);
    }
    state.counters["files"] = static_cast<double>(files);
    state.counters["sections"] = static_cast<double>(sections);
}
BENCHMARK(BM_ConventionSections)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Build(benchmark::State& state) {
    const auto& records = history();
    const auto home = benchHome();
    const auto sections =
        home ? ConventionIndex::sections(
                   ConventionIndex::conventionFiles(projectsWithConventions(*home), *home), *home)
             : conventionSections();
    std::size_t candidates = 0;
    for (auto _ : state) {
        auto result = CandidateBuilder::build(records, sections);
        candidates = result.size();
        benchmark::DoNotOptimize(result);
    }
    std::size_t bytes = 0;
    for (const auto& record : records) {
        bytes += record.text.size();
    }
    state.counters["records"] = static_cast<double>(records.size());
    state.counters["textMiB"] = static_cast<double>(bytes) / (1 << 20);
    state.counters["candidates"] = static_cast<double>(candidates);
    state.counters["sections"] = static_cast<double>(sections.size());
}
BENCHMARK(BM_Build)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Observations(benchmark::State& state) {
    const auto& records = history();
    std::size_t count = 0;
    for (auto _ : state) {
        auto observations = CandidateBuilder::observations(records);
        count = observations.size();
        benchmark::DoNotOptimize(observations);
    }
    state.counters["observations"] = static_cast<double>(count);
}
BENCHMARK(BM_Observations)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ClusterRepeated(benchmark::State& state) {
    const auto observations = CandidateBuilder::observations(history());
    std::set<std::string_view> keys;
    for (const auto& observation : observations) {
        keys.insert(observation.key);
    }
    for (auto _ : state) {
        auto candidates = CandidateBuilder::cluster(observations, CandidateKind::repeated,
                                                    CandidateBuilder::minimumRepeats);
        benchmark::DoNotOptimize(candidates);
    }
    state.counters["distinctKeys"] = static_cast<double>(keys.size());
}
BENCHMARK(BM_ClusterRepeated)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Corrections(benchmark::State& state) {
    const auto& records = history();
    for (auto _ : state) {
        auto candidates = CandidateBuilder::corrections(records);
        benchmark::DoNotOptimize(candidates);
    }
}
BENCHMARK(BM_Corrections)->Unit(benchmark::kMillisecond)->UseRealTime();

// The key merge alone, on the distinct keys of the history's instructions in
// clustering order.
void BM_MergeHistoryKeys(benchmark::State& state) {
    const auto observations = CandidateBuilder::observations(history());
    std::map<std::string, std::set<std::string_view>> sessions;
    for (const auto& observation : observations) {
        sessions[observation.key].insert(observation.record->sessionID);
    }
    std::vector<std::pair<std::size_t, std::string>> ranked;
    for (const auto& [key, ids] : sessions) {
        ranked.emplace_back(ids.size(), key);
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<std::string> keys;
    for (auto& entry : ranked) {
        keys.push_back(std::move(entry.second));
    }
    std::size_t clusters = 0;
    for (auto _ : state) {
        auto merged = CandidateBuilder::mergeSimilarKeys(keys);
        clusters = merged.size();
        benchmark::DoNotOptimize(merged);
    }
    state.counters["keys"] = static_cast<double>(keys.size());
    state.counters["clusters"] = static_cast<double>(clusters);
}
BENCHMARK(BM_MergeHistoryKeys)->Unit(benchmark::kMillisecond)->UseRealTime();

// A hard case for the key merge: distinct random keys over 26 letters,
// where every bigram is common and no prefix is selective.
void BM_MergeDistinctKeys(benchmark::State& state) {
    std::mt19937_64 random(7);
    std::set<std::string> distinct;
    while (distinct.size() < static_cast<std::size_t>(state.range(0))) {
        std::string key;
        for (std::size_t i = 0, n = 8 + random() % 40; i < n; ++i) {
            key += static_cast<char>('a' + random() % 26);
        }
        distinct.insert(key);
    }
    std::vector<std::string> keys(distinct.begin(), distinct.end());
    std::size_t clusters = 0;
    for (auto _ : state) {
        auto merged = CandidateBuilder::mergeSimilarKeys(keys);
        clusters = merged.size();
        benchmark::DoNotOptimize(merged);
    }
    state.counters["clusters"] = static_cast<double>(clusters);
}
BENCHMARK(BM_MergeDistinctKeys)
    ->Arg(5000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
