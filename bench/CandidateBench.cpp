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

#include "core/CandidateBuilder.h"
#include "core/ConventionIndex.h"
#include "core/SentenceIndex.h"

using namespace tamsel;

namespace {

using Pool = std::vector<std::string>;

const Pool modules{"auth",    "billing", "user",    "session", "cache",  "payment",
                   "invoice", "search",  "report",  "export",  "parser", "renderer",
                   "storage", "upload",  "profile", "order",   "cart",   "queue",
                   "worker",  "webhook", "token",   "api",     "db",     "sync"};
const Pool verbs{"get",       "set",     "load",   "save",   "parse",   "build",
                 "render",    "fetch",   "update", "delete", "create",  "validate",
                 "normalize", "compute", "apply",  "handle", "resolve", "merge",
                 "split",     "format",  "encode", "decode", "refresh", "retry"};
const Pool objects{"user",     "token",   "config",   "item",   "order",  "request",
                   "response", "payload", "event",    "record", "entry",  "batch",
                   "session",  "file",    "path",     "query",  "result", "message",
                   "header",   "chunk",   "snapshot", "index",  "key",    "value"};
const Pool featuresEn{
    "CSV export",         "dark mode",     "pagination",       "retry logic with backoff",
    "an in-memory cache", "a login page",  "full-text search", "input validation",
    "structured logging", "rate limiting", "webhooks",         "a dry-run mode",
    "a progress bar",     "an audit log"};
const Pool featuresJa{
    "CSVエクスポート機能",  "ダークモード", "ページネーション", "リトライ処理",
    "インメモリキャッシュ", "ログイン画面", "全文検索",         "入力バリデーション",
    "構造化ログ",           "レート制限",   "Webhook",          "ドライランモード",
    "プログレスバー",       "監査ログ"};
const Pool bugsEn{"the page crashes when the list is empty", "the retry loop never stops",
                  "the cache is never invalidated",          "tests are flaky on CI",
                  "the CSV export drops the last row",       "memory usage grows without bound"};
const Pool bugsJa{"リストが空のときに画面がクラッシュする",
                  "リトライが無限ループする",
                  "キャッシュが更新されない",
                  "CIでテストがたまに落ちる",
                  "CSV出力で最終行が欠ける",
                  "メモリ使用量が増え続ける"};

const Pool tasksEn{"Add {feature} to the {module} module.",
                   "Fix the bug where {bug}.",
                   "Refactor {path} so that each function does one thing.",
                   "Write unit tests for `{func}` in {path}.",
                   "Implement {feature} for the {module} service. Start with the API layer.",
                   "Rename `{func}` to `{func2}` everywhere.",
                   "`{func}` is too slow on large inputs. Optimise it.",
                   "Remove the deprecated `{func}` and update all callers.",
                   "Investigate why {bug}.",
                   "please add {feature} to {module}",
                   "We need {feature} in the {module} module. Look at how {path} does it and "
                   "follow the same pattern."};
const Pool tasksJa{"{module}モジュールに{feature}を追加してください。",
                   "{bug}というバグを修正してください。",
                   "{path}をリファクタリングして、テストしやすくしてください。",
                   "{path}の`{func}`のユニットテストを書いてください。",
                   "{module}サービスに{feature}を実装してほしい。まずAPI層から。",
                   "`{func}`を`{func2}`にリネームして。全箇所お願いします。",
                   "非推奨の`{func}`を削除して、呼び出し元を全部更新すること。",
                   "{bug}原因を調査してください。",
                   "{feature}を実装して"};
const Pool followupsEn{"Now {task}",
                       "Also add tests for `{func}`.",
                       "Great. Now do the same for {path}.",
                       "Commit this with a good message.",
                       "Run the tests again.",
                       "One more thing: {task}"};
const Pool followupsJa{"次は{task}", "ついでに`{func}`のテストも追加して。",
                       "いいですね。{path}も同様に修正してください。",
                       "良いメッセージでコミットしてください。", "もう一度テストを実行して。"};
const Pool correctionsEn{"No, that's not what I meant.",
                         "Actually, revert that.",
                         "Don't touch unrelated files.",
                         "Undo the last change.",
                         "nope, go back to the previous version",
                         "Stop, you're editing the wrong file. The change belongs in {path}.",
                         "Actually, keep the old name `{func}`.",
                         "No, don't delete that test.",
                         "Do not reformat the whole file.",
                         "no, the bug is in `{func}`, not in the caller"};
const Pool correctionsJa{"違う、そうじゃない。",
                         "そうじゃなくて、{path}の方を直して。",
                         "勝手にファイルを消さないで。",
                         "元に戻してください。",
                         "余計な変更はしないでください。",
                         "関係ないところは触らないで。",
                         "いや、違う。`{func}`はそのままにして。",
                         "だめ、その方法だと後方互換性が壊れる。",
                         "違う違う、`{func}`の引数は変えないで。"};
const Pool questionsEn{"Why does `{func}` return None here?", "What does this error mean?",
                       "Is there a simpler way to do this?", "How does {module} handle retries?",
                       "Which files did you change?"};
const Pool questionsJa{"`{func}`は何をしていますか？", "このエラーの原因は何？",
                       "他にもっと簡単な方法はある？", "どのファイルを変更しましたか？"};
const Pool acksEn{"ok", "yes", "go ahead", "continue", "LGTM", "looks good, commit it", "thanks!"};
const Pool acksJa{"はい", "お願いします", "続けて", "OK", "ありがとう", "進めてください"};

struct Habit {
    Pool en;
    Pool ja;
};
const std::vector<Habit> habits{
    {{"Run the tests before committing.", "Please run the tests before you commit.",
      "Make sure all tests pass before committing.", "Always run the tests before committing!"},
     {"コミット前に必ずテストを実行してください。", "コミットする前にテストを実行すること。",
      "テストを実行してからコミットして。"}},
    {{"Don't touch unrelated files.", "Do not modify unrelated files."},
     {"関係ないファイルは触らないでください。", "無関係なファイルを変更しないこと。"}},
    {{"Keep the diff small.", "Please keep the diff minimal.", "Keep changes minimal and focused."},
     {"変更は最小限にしてください。", "差分は最小限にすること。"}},
    {{"Do not add new dependencies.", "Avoid adding new dependencies."},
     {"新しい依存関係を追加しないでください。", "勝手にライブラリを追加しないこと。"}},
    {{"Use type hints everywhere.", "Always add type annotations."},
     {"型ヒントを必ず付けてください。", "すべての関数に型ヒントを付けること。"}},
    {{"Never delete files without asking me first.", "Always ask before deleting anything."},
     {"ファイルを削除する前に必ず確認してください。", "削除する前に確認すること。"}},
    {{"Don't leave debug prints in the code.", "Make sure no debug logging is left behind."},
     {"デバッグ用のprintは残さないでください。", "console.logを残さないこと。"}},
    {{"Do not push to main.", "Never push directly to main."},
     {"mainブランチに直接pushしないでください。", "mainには絶対にpushしないこと。"}},
    {{"Never swallow exceptions silently.", "Don't catch exceptions just to ignore them."},
     {"エラーを握りつぶさないでください。", "例外を握りつぶさないこと。"}},
    {{"Please update the documentation as well.", "Keep the README in sync with the code."},
     {"READMEも合わせて更新してください。", "ドキュメントも更新して下さい。"}},
};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : random_(seed) {}

    std::vector<PromptRecord> records(std::size_t count, std::size_t sessions) {
        std::vector<PromptRecord> out;
        out.reserve(count);
        std::size_t perSession = count / sessions;
        Timestamp time{std::chrono::seconds{1740787200}};
        for (std::size_t s = 0; out.size() < count; ++s) {
            const std::string session = "session-" + std::to_string(s);
            const std::string project = "/home/dev/src/project-" + std::to_string(s % 40);
            japanese_ = s % 40 < 18;
            std::size_t length = 1 + pick(2 * perSession);
            for (std::size_t i = 0; i < length && out.size() < count; ++i) {
                PromptRecord record;
                record.sessionID = session;
                record.project = project;
                time += std::chrono::seconds{1 + pick(600)};
                record.timestamp = time;
                record.indexInSession = static_cast<std::int64_t>(i);
                record.text = prompt(i == 0);
                out.push_back(std::move(record));
            }
        }
        return out;
    }

private:
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
    }
    const std::string& from(const Pool& pool) { return pool[pick(pool.size())]; }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }

    std::string identifier() { return from(verbs) + "_" + from(objects); }
    std::string path() { return "src/" + from(modules) + "/" + from(objects) + ".py"; }

    std::string fill(const std::string& pattern) {
        std::string out;
        for (std::size_t i = 0; i < pattern.size();) {
            if (pattern[i] == '{') {
                std::size_t close = pattern.find('}', i);
                std::string name = pattern.substr(i + 1, close - i - 1);
                i = close + 1;
                if (name == "feature") {
                    out += from(japanese_ ? featuresJa : featuresEn);
                } else if (name == "bug") {
                    out += from(japanese_ ? bugsJa : bugsEn);
                } else if (name == "module") {
                    out += from(modules);
                } else if (name == "path") {
                    out += path();
                } else if (name == "task") {
                    out += fill(from(japanese_ ? tasksJa : tasksEn));
                } else {
                    out += identifier();
                }
            } else {
                out += pattern[i++];
            }
        }
        return out;
    }

    std::string habit() {
        const Habit& h = habits[pick(habits.size())];
        std::string text = from(japanese_ ? h.ja : h.en);
        if (!japanese_ && chance(0.1)) {
            text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        }
        return text;
    }

    // A pasted test log, about 3 KB typically and up to ~100 KB.
    std::string log() {
        double size = std::exp(std::normal_distribution<double>(std::log(3000.0), 1.2)(random_));
        std::size_t target = static_cast<std::size_t>(std::clamp(size, 200.0, 100000.0));
        std::string out = "============================= test session starts ==========\n"
                          "platform linux -- Python 3.12.1, pytest-8.3.2\n";
        while (out.size() < target) {
            std::string fn = identifier();
            out += "tests/test_" + from(modules) + ".py ....F..s.....F\n";
            out += "    def test_" + fn + "():\n>       assert " + fn + "('" + from(objects) +
                   "') == " + std::to_string(pick(100)) + "\nE       AssertionError: assert " +
                   std::to_string(pick(100)) + " == " + std::to_string(pick(100)) + "\n\n";
        }
        return out;
    }

    std::string code() {
        std::string out = "```python\n";
        for (std::size_t i = 0, n = 5 + pick(35); i < n; ++i) {
            out += "    " + identifier() + " = " + identifier() + "(" + from(objects) + ")\n";
        }
        return out + "```";
    }

    std::string prompt(bool first) {
        enum Kind { task, followup, correction, question, ack, logPaste, codePaste, habitual };
        Kind kind;
        std::size_t roll = pick(100);
        if (first) {
            kind = roll < 70 ? task : roll < 82 ? logPaste : roll < 90 ? codePaste : question;
        } else {
            kind = roll < 22   ? followup
                   : roll < 36 ? correction
                   : roll < 48 ? question
                   : roll < 62 ? ack
                   : roll < 78 ? task
                   : roll < 85 ? logPaste
                   : roll < 90 ? codePaste
                               : habitual;
        }
        std::string text;
        switch (kind) {
        case task:
            text = fill(from(japanese_ ? tasksJa : tasksEn));
            break;
        case followup:
            text = fill(from(japanese_ ? followupsJa : followupsEn));
            break;
        case correction:
            text = fill(from(japanese_ ? correctionsJa : correctionsEn));
            break;
        case question:
            text = fill(from(japanese_ ? questionsJa : questionsEn));
            break;
        case ack:
            text = from(japanese_ ? acksJa : acksEn);
            break;
        case logPaste:
            text = (japanese_ ? "テストが失敗します。\n```\n" : "Tests are failing:\n```\n") +
                   log() + "```";
            break;
        case codePaste:
            text = (japanese_ ? "この関数をリファクタリングしてください。\n"
                              : "Refactor this function:\n") +
                   code();
            break;
        case habitual:
            text = habit();
            break;
        }
        if ((kind == task || kind == followup || kind == logPaste || kind == codePaste) &&
            chance(0.45)) {
            for (std::size_t i = 0, n = 1 + pick(2); i < n; ++i) {
                text += chance(0.5) ? "\n" : (japanese_ ? "" : " ");
                text += habit();
            }
        }
        return text;
    }

    std::mt19937_64 random_;
    bool japanese_ = false;
};

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
