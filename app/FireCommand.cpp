#include "app/FireCommand.h"

#include <algorithm>
#include <charconv>

namespace tamsel {

namespace {

std::string pick(Language language, std::string en, std::string ja) {
    return language == Language::ja ? std::move(ja) : std::move(en);
}

} // namespace

namespace FireCommand {

namespace {

constexpr std::string_view firePrefix = "fire ";
constexpr std::string_view firedWord = "fired";
constexpr std::string_view declinedPrefix = "declined ";

// One line each way: a line break inside a text would end it early.
std::string flattened(std::string_view text) {
    std::string line(text);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
}

std::string_view withoutLineEnd(std::string_view line) {
    if (line.ends_with('\n')) {
        line.remove_suffix(1);
    }
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

std::string requestLine(const FireRequest& request) {
    std::string line(firePrefix);
    line += rawValue(request.kind);
    line += ' ';
    line += flattened(request.prompt);
    line += '\n';
    return line;
}

std::optional<FireRequest> parseRequest(std::string_view line) {
    line = withoutLineEnd(line);
    if (line.size() > maximumLineBytes || !line.starts_with(firePrefix)) {
        return std::nullopt;
    }
    line.remove_prefix(firePrefix.size());
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    FireRequest request;
    const std::string_view kind = line.substr(0, space);
    if (kind == rawValue(TriggerKind::send)) {
        request.kind = TriggerKind::send;
    } else if (kind == rawValue(TriggerKind::insert)) {
        request.kind = TriggerKind::insert;
    } else {
        return std::nullopt;
    }
    request.prompt = line.substr(space + 1);
    if (request.prompt.empty() || request.prompt.find_first_of("\r\n") != std::string::npos) {
        return std::nullopt;
    }
    return request;
}

std::string replyLine(const FireReply& reply) {
    if (reply.fired) {
        return std::string(firedWord) + "\n";
    }
    return std::string(declinedPrefix) + flattened(reply.reason) + "\n";
}

std::optional<FireReply> parseReply(std::string_view line) {
    line = withoutLineEnd(line);
    if (line == firedWord) {
        return FireReply{true, {}};
    }
    if (line.starts_with(declinedPrefix)) {
        return FireReply{false, std::string(line.substr(declinedPrefix.size()))};
    }
    return std::nullopt;
}

const Rule* resolve(const std::vector<Rule>& rules, std::string_view prompt) {
    for (const Rule& rule : rules) {
        if (rule.id == prompt) {
            return &rule;
        }
    }
    std::size_t position = 0;
    const char* end = prompt.data() + prompt.size();
    const auto [stop, error] = std::from_chars(prompt.data(), end, position);
    if (error != std::errc() || stop != end || position == 0 || position > rules.size()) {
        return nullptr;
    }
    return &rules[position - 1];
}

std::string declineReason(FireDecline decline, std::string_view prompt, Language language) {
    const std::string name(prompt);
    switch (decline) {
    case FireDecline::unknownPrompt:
        return pick(language,
                    "No prompt has the position or id \"" + name +
                        "\"; give its position in the list (from 1) or its id.",
                    "「" + name + "」という番号や ID のプロンプトはありません。一覧の位置（1 から）か ID を指定してください。");
    case FireDecline::paused:
        return pick(language, "Tamsel is paused; resume it from the tray icon or the popover.",
                    "Tamsel は一時停止中です。トレイアイコンかポップオーバーから再開してください。");
    case FireDecline::promptOff:
        return pick(language, "The prompt \"" + name + "\" is turned off.",
                    "プロンプト「" + name + "」はオフになっています。");
    case FireDecline::promptEmpty:
        return pick(language, "The prompt \"" + name + "\" has no text to add.",
                    "プロンプト「" + name + "」には追加するテキストがありません。");
    case FireDecline::noKeyboard:
        return pick(language, "Tamsel cannot type or paste in this session.",
                    "このセッションでは入力も貼り付けもできません。");
    case FireDecline::notTarget:
        return pick(language,
                    "The application in front is not one of the target applications; nothing "
                    "was typed.",
                    "前面のアプリは対象アプリではないため、何も入力しませんでした。");
    }
    return {};
}

std::string shellQuoted(std::string_view word) {
    const bool safe = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("-_./=:,+@%").find(c) != std::string_view::npos;
    });
    if (safe) {
        return std::string(word);
    }
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string commandFor(std::string_view program, const Rule& rule, TriggerKind kind) {
    return shellQuoted(program) + " --fire " + shellQuoted(rule.id) +
           (kind == TriggerKind::send ? " --send" : " --insert");
}

} // namespace FireCommand

namespace FireCommandTexts {

std::string title(Language language) {
    return pick(language, "Commands for desktop shortcuts",
                                 "デスクトップのショートカット用コマンド");
}

std::string hint(Language language) {
    return pick(
        language,
        "Where Tamsel cannot watch shortcuts itself (most Wayland desktops), bind a command below "
        "to a key in the desktop's own settings. GNOME: Settings › Keyboard › Custom Shortcuts. "
        "KDE Plasma: System Settings › Shortcuts › Add New › Command. sway: bindsym KEYS exec "
        "COMMAND. Hyprland: bind = MODS, KEY, exec, COMMAND.",
        "Tamsel 自身がショートカットを監視できない環境（多くの Wayland デスクトップ）では、"
        "下のコマンドをデスクトップの設定でキーに割り当ててください。GNOME：設定 › キーボード › "
        "カスタムショートカット。KDE Plasma：システム設定 › ショートカット › 新規追加 › コマンド。"
        "sway：bindsym キー exec コマンド。Hyprland：bind = 修飾キー, キー, exec, コマンド。");
}

std::string anyWindow(Language language) {
    return pick(
        language,
        "In this session the application in front cannot be known: a command types into "
        "whichever window has the focus, target or not.",
        "このセッションでは前面のアプリを知ることができないため、コマンドは対象アプリかどうかに"
        "かかわらず、フォーカスのあるウインドウに入力します。");
}

std::string copy(Language language) {
    return pick(language, "Copy", "コピー");
}

std::string copied(Language language) {
    return pick(language, "Copied", "コピーしました");
}

} // namespace FireCommandTexts

} // namespace tamsel
