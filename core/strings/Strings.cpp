#include "core/strings/Strings.h"

#include <cstddef>
#include <initializer_list>
#include <string>

namespace tamsel {

namespace {

struct Entry {
    StringKey key;
    std::string_view name;
    std::string_view en;
    std::string_view ja;
};

#define TAMSEL_TEXT(key, en, ja)                                                                   \
    Entry {                                                                                        \
        StringKey::key, #key, en, ja                                                               \
    }

// Texts that name the desktop's own parts (its file manager, how targets are
// named, what takes keys away) differ between the two systems.
#ifdef __APPLE__
#define TAMSEL_DESKTOP_TEXT(key, macEn, macJa, linuxEn, linuxJa) TAMSEL_TEXT(key, macEn, macJa)
#else
#define TAMSEL_DESKTOP_TEXT(key, macEn, macJa, linuxEn, linuxJa) TAMSEL_TEXT(key, linuxEn, linuxJa)
#endif

// One row per key, in declaration order (checked below).
constexpr std::array<Entry, stringKeyCount> table{{
    TAMSEL_TEXT(statusActive, "Active", "動作中"),
    TAMSEL_TEXT(statusPaused, "Paused", "一時停止中"),
    TAMSEL_TEXT(statusNoPermission, "Permission needed", "権限未許可"),
    TAMSEL_TEXT(statusNotWatching, "Not watching", "監視未開始"),
    TAMSEL_TEXT(enableToggleLabel, "Enable Tamsel", "Tamsel を有効にする"),
    TAMSEL_TEXT(addPrompt, "Add prompt", "プロンプトを追加"),
    TAMSEL_TEXT(openSettings, "Settings", "詳細設定"),
    TAMSEL_TEXT(untitledPrompt, "Untitled", "名称未設定"),
    TAMSEL_TEXT(noPrompts, "No prompts yet. Add one to get started.",
                "プロンプトがありません。追加してください。"),
    TAMSEL_TEXT(notSet, "Not set", "未設定"),
    TAMSEL_TEXT(lastFiredNone, "Nothing fired yet", "まだ発火していません"),
    TAMSEL_TEXT(fieldName, "Name", "名前"),
    TAMSEL_TEXT(fieldText, "Text", "本文"),
    TAMSEL_TEXT(triggerSend, "Append & Send", "付与して送信"),
    TAMSEL_TEXT(triggerInsert, "Append Only", "付与だけ"),
    TAMSEL_TEXT(modifiers, "Modifiers", "修飾キー"),
    TAMSEL_TEXT(mainKey, "Key", "主キー"),
    TAMSEL_TEXT(ruleEnabled, "Enabled", "有効"),
    TAMSEL_TEXT(deletePrompt, "Delete prompt", "プロンプトを削除"),
    TAMSEL_TEXT(moveUp, "Move up", "上へ移動"),
    TAMSEL_TEXT(moveDown, "Move down", "下へ移動"),
    TAMSEL_TEXT(expandRow, "Show details", "詳細を表示"),
    TAMSEL_TEXT(collapseRow, "Hide details", "詳細を隠す"),
    TAMSEL_TEXT(textPlaceholder, "Text to append at the end of your message",
                "文章の末尾に付与する本文"),
    TAMSEL_TEXT(namePlaceholder, "Name for this prompt", "このプロンプトの名前"),
    TAMSEL_TEXT(warnNoModifier, "Pick at least one modifier key.",
                "修飾キーを1つ以上選んでください。"),
    TAMSEL_TEXT(warnEmptyText, "The text is empty, so this prompt will not fire.",
                "本文が空のため、このプロンプトは発火しません。"),
    TAMSEL_TEXT(warnSameTriggers, "Both shortcuts are the same. Only Append & Send will fire.",
                "2つのショートカットが同一です。付与して送信のみが発火します。"),
    TAMSEL_TEXT(warnNewlineConflict, "Claude Code uses this for a line break.",
                "Claude Code はこのキーを改行に使います。"),
    TAMSEL_TEXT(warnNoTrigger, "No shortcut assigned, so this prompt cannot fire.",
                "ショートカットが未設定のため発火しません。"),
    TAMSEL_TEXT(settingsTitle, "Settings", "詳細設定"),
    TAMSEL_TEXT(back, "Back", "戻る"),
    TAMSEL_TEXT(injectionMethod, "Injection", "注入方式"),
    TAMSEL_TEXT(injectionPaste, "Clipboard", "クリップボード経由"),
    TAMSEL_TEXT(injectionType, "Direct typing", "直接打鍵"),
    TAMSEL_TEXT(injectionTypeNote, "Direct typing turns line breaks into spaces.",
                "直接打鍵では改行が空白に置き換わります。"),
    TAMSEL_TEXT(preDelay, "Wait for modifier release", "修飾キー解放の待ち時間"),
    TAMSEL_TEXT(postDelay, "Wait before sending", "注入から送信までの待ち時間"),
    TAMSEL_TEXT(delayUnit, "ms", "ミリ秒"),
    TAMSEL_TEXT(targetApps, "Target apps", "対象アプリ"),
    TAMSEL_DESKTOP_TEXT(targetAppsHint, "One Bundle ID per line. Leave empty to allow every app.",
                        "1行に1つの Bundle ID。空にするとすべてのアプリで有効になります。",
                        "One window class per line, as “xprop WM_CLASS” shows it last. Leave "
                        "empty to allow every app.",
                        "1行に1つのウィンドウクラス（xprop WM_CLASS の最後の値）。空にすると"
                        "すべてのアプリで有効になります。"),
    TAMSEL_TEXT(language, "Language", "表示言語"),
    TAMSEL_TEXT(languageSystem, "System", "システムに従う"),
    // Each language is named in its own language, whatever the display language.
    TAMSEL_TEXT(languageEnglish, "English", "English"),
    TAMSEL_TEXT(languageJapanese, "日本語", "日本語"),
    TAMSEL_TEXT(openConfigFile, "Open config file", "設定ファイルを開く"),
    TAMSEL_DESKTOP_TEXT(revealConfigFile, "Show in Finder", "Finder で表示", "Show in file manager",
                        "ファイルマネージャで表示"),
    TAMSEL_TEXT(showSetupGuide, "Show setup guide", "セットアップ案内を表示"),
    TAMSEL_TEXT(launchAtLogin, "Launch at login", "ログイン時に起動"),
    TAMSEL_TEXT(quitApp, "Quit Tamsel", "Tamsel を終了"),
    TAMSEL_DESKTOP_TEXT(
        aboutSecureInput,
        "Shortcuts do not fire while macOS is in secure input mode, such as at a "
        "password prompt.",
        "macOS がセキュア入力モードのあいだ（パスワード入力待ちなど）はショートカットが"
        "発火しません。",
        "Shortcuts do not fire while another program holds the whole keyboard, "
        "such as a screen locker or a password prompt.",
        "ほかのプログラムがキーボード全体を占有しているあいだ（画面ロックやパスワード"
        "入力など）はショートカットが発火しません。"),
    TAMSEL_DESKTOP_TEXT(setupTitle, "Tamsel needs Accessibility access",
                        "Tamsel にはアクセシビリティ権限が必要です", "Tamsel needs an X11 display",
                        "Tamsel には X11 ディスプレイが必要です"),
    TAMSEL_DESKTOP_TEXT(
        setupWhy,
        "Tamsel watches for your shortcut keys and types the text for you. macOS "
        "requires Accessibility access to do that.",
        "Tamsel はショートカットキーを監視し、本文を入力します。この動作には macOS "
        "のアクセシビリティ権限が必要です。",
        "Tamsel watches for your shortcut keys and types the text for you. On "
        "Linux that takes an X11 display (or XWayland) with the XTEST extension.",
        "Tamsel はショートカットキーを監視し、本文を入力します。Linux ではこの動作に"
        " XTEST 拡張のある X11 ディスプレイ（または XWayland）が必要です。"),
    TAMSEL_DESKTOP_TEXT(
        setupStep1, "Open Privacy & Security › Accessibility.",
        "「プライバシーとセキュリティ」→「アクセシビリティ」を開く。",
        "Log in to an X11 session, or start Tamsel where XWayland runs.",
        "X11 セッションにログインするか、XWayland が動いている環境で Tamsel を起動する。"),
    TAMSEL_DESKTOP_TEXT(setupStep2, "Turn on Tamsel in the list.", "一覧の Tamsel をオンにする。",
                        "Make sure DISPLAY names that display.",
                        "DISPLAY がそのディスプレイを指していることを確かめる。"),
    TAMSEL_TEXT(setupStep3, "Come back here. Tamsel starts on its own.",
                "この画面に戻る。Tamsel は自動で動き始めます。"),
    TAMSEL_DESKTOP_TEXT(setupOpenButton, "Open Accessibility settings",
                        "アクセシビリティ設定を開く", "Check again", "もう一度確かめる"),
    TAMSEL_TEXT(setupWaiting, "Waiting for permission…", "権限の許可を待っています…"),
    TAMSEL_TEXT(setupGranted, "Permission granted.", "権限が付与されました。"),
    TAMSEL_TEXT(setupSkip, "Continue without access", "権限なしで続ける"),
    TAMSEL_TEXT(labTitle, "Prompt Lab", "プロンプト候補"),
    TAMSEL_TEXT(labOpen, "Find prompts to add…", "追加するプロンプトを探す…"),
    TAMSEL_TEXT(labScan, "Scan", "走査する"),
    TAMSEL_TEXT(labRescan, "Scan again", "走査し直す"),
    TAMSEL_TEXT(labScanning, "Reading your conventions and history…", "規約と履歴を読んでいます…"),
    TAMSEL_TEXT(labDrafting, "Drafting…", "文案を作っています…"),
    TAMSEL_TEXT(labNoCandidates, "Nothing worth suggesting was found.",
                "勧められるものは見つかりませんでした。"),
    TAMSEL_TEXT(labNoTranscripts,
                "No Claude Code history was found, so usage counts are unavailable.",
                "Claude Code の記録が見つからないため、使用回数は測れません。"),
    TAMSEL_TEXT(labEvidence, "Why this is suggested", "根拠"),
    TAMSEL_TEXT(labSource, "From", "出典"),
    TAMSEL_TEXT(labOriginal, "Shown as written in the source.", "出典の文をそのまま出しています。"),
    TAMSEL_DESKTOP_TEXT(
        labDraftNote, "Drafted on this Mac by the built-in model. Read it before you add it.",
        "この Mac の内蔵モデルが起草しました。追加する前に必ず読んでください。",
        "Drafted by a model on this computer. Read it before you add it.",
        "このコンピュータのモデルが起草しました。追加する前に必ず読んでください。"),
    TAMSEL_TEXT(labAdopt, "Add as prompt", "プロンプトに追加"),
    TAMSEL_TEXT(labAdopted, "Added", "追加しました"),
    TAMSEL_TEXT(labUsageTitle, "Are your prompts being used?",
                "登録済みプロンプトは使われているか"),
    TAMSEL_TEXT(labUsageUnused, "never used", "未使用"),
    TAMSEL_TEXT(labUsageNever, "None of your prompts appear in your history.",
                "登録済みのプロンプトは履歴に現れませんでした。"),
    TAMSEL_TEXT(labKindConvention, "From CLAUDE.md", "CLAUDE.md より"),
    TAMSEL_TEXT(labKindUnfollowed, "Written down, still retyped", "規約にあるが手打ちしている"),
    TAMSEL_TEXT(labKindCorrection, "Repeated correction", "繰り返した訂正"),
    TAMSEL_TEXT(labKindRepeated, "Repeated by hand", "手打ちの繰り返し"),
    TAMSEL_TEXT(labModelAvailable, "Built-in model: ready", "内蔵モデル: 利用可能"),
    TAMSEL_DESKTOP_TEXT(labModelUnsupportedOS, "Built-in model: needs macOS 26",
                        "内蔵モデル: macOS 26 が必要", "Built-in model: none on Linux",
                        "内蔵モデル: Linux にはありません"),
    TAMSEL_DESKTOP_TEXT(labModelDeviceNotEligible, "Built-in model: not supported on this Mac",
                        "内蔵モデル: この Mac では使えません",
                        "Built-in model: not supported on this computer",
                        "内蔵モデル: このコンピュータでは使えません"),
    TAMSEL_DESKTOP_TEXT(labModelNotEnabled, "Built-in model: turn on Apple Intelligence",
                        "内蔵モデル: Apple Intelligence が未設定", "Built-in model: turned off",
                        "内蔵モデル: 無効"),
    TAMSEL_TEXT(labModelNotReady, "Built-in model: still preparing", "内蔵モデル: 準備中"),
    TAMSEL_TEXT(labModelFallbackNote,
                "Suggestions still work. You will see the original wording instead of a draft.",
                "候補は出せます。文案の代わりに元の文をそのまま表示します。"),
    TAMSEL_DESKTOP_TEXT(labPrivacyNote,
                        "Tamsel reads these files on this Mac only. Nothing is stored or sent.",
                        "この Mac の中で読むだけです。保存も送信もしません。",
                        "Tamsel reads these files on this computer only. Nothing is stored or "
                        "sent.",
                        "このコンピュータの中で読むだけです。保存も送信もしません。"),
    TAMSEL_TEXT(contactUs, "Report a problem or ask…", "不具合や要望を伝える…"),
    TAMSEL_TEXT(contactNote, "Opens the website. Tamsel itself still makes no network connection.",
                "サイトが開きます。Tamsel 自身は通信しません。"),
    TAMSEL_TEXT(secureInputTitle, "Secure input is on — shortcuts cannot fire right now",
                "セキュア入力中のため、いまはショートカットが効きません"),
    TAMSEL_TEXT(configErrorTitle, "The config file could not be read",
                "設定ファイルを読み込めませんでした"),
    TAMSEL_TEXT(configErrorBody,
                "Tamsel is running with default settings. Your file has not been overwritten.",
                "既定値で動作しています。ファイルは上書きしていません。"),
    TAMSEL_TEXT(saveErrorTitle, "Settings could not be saved", "設定を保存できませんでした"),
    TAMSEL_TEXT(dismiss, "Dismiss", "閉じる"),
    TAMSEL_TEXT(reloadedFromDisk, "Reloaded from the config file.",
                "設定ファイルから読み込み直しました。"),
    TAMSEL_TEXT(configErrorKeptPrompts,
                "Tamsel keeps the prompts it had before. Your file has not been overwritten.",
                "読み込み済みのプロンプトをそのまま使っています。ファイルは上書きしていません。"),
    TAMSEL_TEXT(undo, "Undo", "元に戻す"),
    TAMSEL_DESKTOP_TEXT(setupReadyTitle, "Tamsel has Accessibility access",
                        "Tamsel にアクセシビリティ権限があります", "Tamsel can use the X11 display",
                        "Tamsel は X11 ディスプレイを使えます"),
    TAMSEL_DESKTOP_TEXT(
        setupReadyWhy,
        "Tamsel watches for your shortcut keys and types the text for you. "
        "Nothing more is needed.",
        "Tamsel はショートカットキーを監視し、本文を入力します。追加の設定は不要です。",
        "Tamsel watches for your shortcut keys and types the text for you. "
        "This display has what it needs.",
        "Tamsel はショートカットキーを監視し、本文を入力します。このディスプレイで"
        "必要なものはそろっています。"),
    TAMSEL_TEXT(setupDone, "Done", "完了"),
    TAMSEL_TEXT(trayOpen, "Open Tamsel", "Tamsel を開く"),
    TAMSEL_TEXT(trayPause, "Pause", "一時停止"),
    TAMSEL_TEXT(trayResume, "Resume", "再開"),
    TAMSEL_TEXT(trayQuit, "Quit", "終了"),
}};

#undef TAMSEL_TEXT

// Lookup indexes the table by the key's value, so row i must hold key i, and
// the last key must be the last row (nothing declared after it is missing).
constexpr bool tableIsInKeyOrder() {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (static_cast<std::size_t>(table[i].key) != i || table[i].en.empty()) {
            return false;
        }
    }
    return table.back().key == StringKey::trayQuit;
}
static_assert(tableIsInKeyOrder(), "the string table must list every key once, in order");

const Entry& entry(StringKey key) {
    return table[static_cast<std::size_t>(key)];
}

constexpr std::array<StringKey, stringKeyCount> makeAllKeys() {
    std::array<StringKey, stringKeyCount> keys{};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        keys[i] = table[i].key;
    }
    return keys;
}

std::string concat(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string text;
    text.reserve(size);
    for (std::string_view piece : pieces) {
        text += piece;
    }
    return text;
}

} // namespace

const std::array<StringKey, stringKeyCount> allStringKeys = makeAllKeys();

std::string_view rawValue(StringKey key) {
    return entry(key).name;
}

namespace Strings {

TextPair texts(StringKey key) {
    const Entry& row = entry(key);
    return {row.en, row.ja};
}

std::string_view text(const TextPair& pair, Language language) {
    if (language == Language::ja && !pair.ja.empty()) {
        return pair.ja;
    }
    return pair.en;
}

std::string_view string(StringKey key, Language language) {
    return text(texts(key), language);
}

std::string warnDuplicate(std::string_view otherName, Language language) {
    if (language == Language::ja) {
        return concat(
            {"「", otherName, "」とキーが重複しています。一覧の上にあるものが優先されます。"});
    }
    return concat({"Same shortcut as “", otherName, "”. The one higher in the list wins."});
}

std::string lastFired(std::string_view name, TriggerKind kind, Language language) {
    const std::string_view label = string(
        kind == TriggerKind::send ? StringKey::triggerSend : StringKey::triggerInsert, language);
    if (language == Language::ja) {
        return concat({"直近: ", name, "（", label, "）"});
    }
    return concat({"Last: ", name, " — ", label});
}

std::string secureInputDetail(std::optional<std::string_view> holder, Language language) {
    if (language == Language::ja) {
        if (!holder) {
            return "いずれかのアプリがセキュア入力を有効にしています。解除されると再び動作します。";
        }
        return concat({"「", *holder,
                       "」がセキュア入力を有効にしているようです。解除されると再び動作します。"
                       "Secure Keyboard Entry の設定か、パスワード入力欄を確認してください。"});
    }
    if (!holder) {
        return "An app has turned on secure keyboard entry. Shortcuts resume once it is released.";
    }
    return concat({"“", *holder,
                   "” appears to have secure keyboard entry turned on. Shortcuts resume once it "
                   "is released — check its Secure Keyboard Entry setting or close its password "
                   "prompt."});
}

std::string unavailableShortcuts(const std::vector<std::string>& shortcuts, Language language) {
    std::string list;
    for (const std::string& shortcut : shortcuts) {
        if (!list.empty()) {
            list += language == Language::ja ? "、" : ", ";
        }
        list += shortcut;
    }
    if (language == Language::ja) {
        return concat({"別のアプリが使用中のため登録できないショートカット: ", list,
                       "。そのアプリ側の設定を変えるか、別のショートカットを選んでください。"});
    }
    return concat({"Another app already uses ", list,
                   ", so Tamsel cannot register it. Change that app's setting or choose another "
                   "shortcut."});
}

std::string desktopAssignedShortcuts(const std::vector<std::pair<std::string, std::string>>& pairs,
                                     Language language) {
    const bool ja = language == Language::ja;
    std::string list;
    for (const auto& [ours, desktops] : pairs) {
        if (!list.empty()) {
            list += ja ? "、" : ", ";
        }
        list += ours;
        list += " → ";
        list += desktops.empty() ? (ja ? "なし" : "none") : desktops;
    }
    if (ja) {
        return concat({"デスクトップが別のキーを割り当てたショートカット: ", list,
                       "。キーはデスクトップのショートカット設定で変更できます。"});
    }
    return concat({"The desktop fires these shortcuts on other keys: ", list,
                   ". Change them in the desktop's shortcut settings."});
}

std::string keyboardAccessMissing(bool displayReachable, Language language) {
    if (language == Language::ja) {
        return displayReachable
                   ? "X サーバーに XTEST 拡張がないため、キーの監視と入力ができません。"
                   : "X11 ディスプレイに接続できません。Wayland セッションでは XWayland "
                     "（DISPLAY の設定）が必要です。";
    }
    return displayReachable
               ? "The X server lacks the XTEST extension, so keys can be neither watched nor typed."
               : "No X11 display can be reached. In a Wayland session Tamsel needs XWayland "
                 "(DISPLAY must be set).";
}

std::string injectionProblem(InjectionProblem problem, Language language) {
    const bool ja = language == Language::ja;
    switch (problem) {
    case InjectionProblem::keysStillHeld:
        return ja ? "ショートカットのキーが押されたままだったため、何も入力しませんでした。キーを離"
                    "してからもう一度押してください。"
                  : "Nothing was typed: a key of the shortcut was still held. Let go of all "
                    "keys and press the shortcut again.";
    case InjectionProblem::targetLeft:
        return ja ? "ショートカットを押したウィンドウが前面でなくなったため、入力を中止しました。"
                  : "Stopped: the window the shortcut was pressed in is no longer in front.";
    case InjectionProblem::pasteNotRead:
        return ja ? "アプリが貼り付けを読み取らなかったため、送信（Return）しませんでした。"
                  : "The app did not take the pasted prompt in time, so it was not sent "
                    "(no Return).";
    case InjectionProblem::clipboardUnreadable:
        return ja ? "クリップボードの持ち主が応答しなかったため、元の内容を戻せませんでした。"
                    "プロンプトがクリップボードに残っています。"
                  : "The clipboard's owner did not answer, so its contents could not be put "
                    "back; the prompt stays on the clipboard.";
    case InjectionProblem::pastedInsteadOfTyped:
        return ja ? "キーボード配列にない文字がプロンプトに含まれるため、入力の代わりに貼り付けまし"
                    "た（この配列では以後も同様です）。"
                  : "The prompt has characters your keyboard layout lacks, so it was pasted "
                    "instead of typed (and will be whenever that happens).";
    case InjectionProblem::charactersNotTypeable:
        return ja ? "キーボード配列にない文字がプロンプトに含まれ、貼り付けに使えるクリップボードも"
                    "ないため、何も入力しませんでした。配列を切り替えるか、その文字を除いてくださ"
                    "い。"
                  : "Nothing was typed: the prompt has characters your keyboard layout lacks, "
                    "and there is no clipboard here to paste them through. Switch layouts or "
                    "leave those characters out.";
    }
    return {};
}

std::string labExamplesShown(int shown, int total, Language language) {
    const std::string s = std::to_string(shown);
    const std::string t = std::to_string(total);
    if (language == Language::ja) {
        return concat({t, " 項目のうち最初の ", s, " 項目を表示しています。"});
    }
    return concat({"Showing the first ", s, " of ", t, "."});
}

std::string deletedPrompt(std::string_view name, Language language) {
    if (language == Language::ja) {
        return concat({"「", name, "」を削除しました"});
    }
    return concat({"Deleted \u201c", name, "\u201d"});
}

// The JSON reader's problems, in Japanese; a character it names is kept.
std::string syntaxProblemJa(std::string_view problem) {
    static constexpr std::pair<std::string_view, std::string_view> known[] = {
        {"Expected ':' after a key", "キーの後に ':' がありません"},
        {"Expected a quoted key", "引用符で囲んだキーがありません"},
        {"Expected ',' or '}' after an object member",
         "オブジェクトの要素の後に ',' か '}' がありません"},
        {"Expected ',' or ']' after an array element", "配列の要素の後に ',' か ']' がありません"},
        {"Invalid UTF-8", "UTF-8 として正しくありません"},
        {"Invalid \\u escape", "\\u エスケープが正しくありません"},
        {"Invalid escape sequence", "エスケープが正しくありません"},
        {"Invalid number", "数値が正しくありません"},
        {"Unescaped control character in a string", "文字列に制御文字がそのまま入っています"},
        {"Unexpected end of data", "データが途中で終わっています"},
        {"Unexpected text after the end of the JSON value", "JSON の値の後に余分な文字があります"},
        {"Unpaired surrogate in a \\u escape", "\\u エスケープのサロゲートが対になっていません"},
        {"Unterminated string", "文字列が閉じていません"},
        {"Unexpected character", "予期しない文字です"},
    };
    for (const auto& [en, ja] : known) {
        if (problem == en) {
            return std::string(ja);
        }
    }
    constexpr std::string_view unexpected = "Unexpected character ";
    if (problem.starts_with(unexpected)) {
        return concat({"予期しない文字 ", problem.substr(unexpected.size()), " があります"});
    }
    return std::string(problem);
}

std::string configErrorDetail(std::string_view message, Language language) {
    if (language != Language::ja) {
        return std::string(message);
    }
    // The reader's messages: "The given data was not valid JSON." with an
    // optional position, and "Type mismatch at <path>".
    constexpr std::string_view notJson = "The given data was not valid JSON.";
    constexpr std::string_view mismatch = "Type mismatch at ";
    if (message.starts_with(notJson)) {
        std::string_view rest = message.substr(notJson.size());
        while (rest.starts_with(' ')) {
            rest.remove_prefix(1);
        }
        // "<problem> at line L, column C (byte B)." → position first, in Japanese.
        const auto at = rest.rfind(" at line ");
        const auto comma = rest.rfind(", column ");
        const auto byte = rest.rfind(" (byte ");
        if (at != std::string_view::npos && comma != std::string_view::npos &&
            byte != std::string_view::npos && at < comma && comma < byte && rest.ends_with(").")) {
            const std::string_view problem = rest.substr(0, at);
            const std::string_view line = rest.substr(at + 9, comma - at - 9);
            const std::string_view column = rest.substr(comma + 9, byte - comma - 9);
            const std::string_view offset = rest.substr(byte + 7, rest.size() - byte - 9);
            return concat({"JSON として読めません。", line, " 行 ", column, " 列（", offset,
                           " バイト目）: ", syntaxProblemJa(problem), "。"});
        }
        return rest.empty() ? std::string("JSON として読めません。")
                            : concat({"JSON として読めません。", rest});
    }
    if (message.starts_with(mismatch)) {
        const std::string_view path = message.substr(mismatch.size());
        return path.empty() ? std::string("最上位が JSON のオブジェクトではありません。")
                            : concat({path, " の型が違います。"});
    }
    return std::string(message);
}

std::string labSummary(int prompts, int days, int sections, Language language) {
    const std::string p = std::to_string(prompts);
    const std::string d = std::to_string(days);
    const std::string s = std::to_string(sections);
    if (language == Language::ja) {
        return concat({"CLAUDE.md の規約 ", s, " 件 ・ 直近 ", d, " 日の依頼文 ", p, " 件"});
    }
    return concat({s, " rule groups from CLAUDE.md · ", p, " prompts over ", d, " days"});
}

std::string labEvidenceDetail(CandidateKind kind, int count, Language language) {
    const std::string c = std::to_string(count);
    const bool ja = language == Language::ja;
    switch (kind) {
    case CandidateKind::unfollowedConvention:
        return ja ? concat({"別々の会話で ", c, " 回、手で打ち直している"})
                  : concat({"retyped in ", c, " separate conversations"});
    case CandidateKind::convention:
        return ja ? concat({"この見出しの規約 ", c, " 項目"})
                  : concat({c, " rules under this heading"});
    case CandidateKind::correction:
        return ja ? concat({"別々の会話で ", c, " 回、訂正している"})
                  : concat({"corrected in ", c, " separate conversations"});
    case CandidateKind::repeated:
        break;
    }
    return ja ? concat({"別々の会話で ", c, " 回、打っている"})
              : concat({"typed in ", c, " separate conversations"});
}

std::string labUsageEntry(std::string_view name, int count, Language language) {
    if (count <= 0) {
        return concat({name, " — ", string(StringKey::labUsageUnused, language)});
    }
    const std::string c = std::to_string(count);
    if (language == Language::ja) {
        return concat({name, " — ", c, " 回"});
    }
    return concat({name, " — used ", c, "×"});
}

std::string issueMessage(const RuleIssue& issue, Language language) {
    switch (issue.kind) {
    case RuleIssue::Kind::noModifier:
        return std::string(string(StringKey::warnNoModifier, language));
    case RuleIssue::Kind::duplicate:
        return warnDuplicate(issue.otherRuleName, language);
    case RuleIssue::Kind::newlineConflict:
        return std::string(string(StringKey::warnNewlineConflict, language));
    case RuleIssue::Kind::emptyText:
        return std::string(string(StringKey::warnEmptyText, language));
    case RuleIssue::Kind::sameTriggers:
        return std::string(string(StringKey::warnSameTriggers, language));
    case RuleIssue::Kind::noTrigger:
        return std::string(string(StringKey::warnNoTrigger, language));
    }
    return {};
}

} // namespace Strings

} // namespace tamsel
