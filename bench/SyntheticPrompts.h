#pragma once

// A synthetic history of hand-typed prompts in English and Japanese: tasks,
// follow-ups, corrections, questions, acknowledgements, pasted logs and code,
// and habitual instructions retyped with small variations, as a heavy user's
// history holds them. Deterministic for a given seed.

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/analysis/PromptRecord.h"

namespace tamsel::bench {

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

} // namespace tamsel::bench
