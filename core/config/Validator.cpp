#include "core/config/Validator.h"

#include <unordered_set>

#include "core/toolkit/TextToolkit.h"

namespace tamsel::Validator {

namespace {

constexpr TriggerKind bothSlots[] = {TriggerKind::send, TriggerKind::insert};

// The shortcuts Claude Code uses to insert a line break.
bool isNewlineConflict(const Hotkey& hotkey) {
    return hotkey.key == MainKey::enter &&
           (hotkey.modifiers == Modifiers::option || hotkey.modifiers == Modifiers::shift);
}

} // namespace

std::unordered_map<std::string, std::vector<RuleIssue>> issues(const std::vector<Rule>& rules) {
    // Parse every slot once; the duplicate search compares them pairwise.
    struct Parsed {
        std::optional<Hotkey> send;
        std::optional<Hotkey> insert;
        const std::optional<Hotkey>& slot(TriggerKind kind) const {
            return kind == TriggerKind::send ? send : insert;
        }
    };
    std::vector<Parsed> parsed;
    parsed.reserve(rules.size());
    for (const Rule& rule : rules) {
        parsed.push_back({rule.sendHotkey(), rule.appendOnlyHotkey()});
    }

    std::unordered_map<std::string, std::vector<RuleIssue>> result;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const Parsed& own = parsed[i];
        std::vector<RuleIssue> found;
        if (!own.send && !own.insert) {
            found.push_back(RuleIssue::noTrigger());
        }
        if (TextToolkit::isBlank(rules[i].text)) {
            found.push_back(RuleIssue::emptyText());
        }
        if (own.send && own.insert && *own.send == *own.insert) {
            found.push_back(RuleIssue::sameTriggers());
        }
        for (TriggerKind kind : bothSlots) {
            if (const auto& hotkey = own.slot(kind)) {
                if (!hotkey->hasModifier()) {
                    found.push_back(RuleIssue::noModifier(kind));
                }
                if (isNewlineConflict(*hotkey)) {
                    found.push_back(RuleIssue::newlineConflict(kind));
                }
            }
        }
        for (TriggerKind kind : bothSlots) {
            const auto& hotkey = own.slot(kind);
            if (!hotkey || !hotkey->hasModifier()) {
                continue;
            }
            for (std::size_t j = 0; j < rules.size(); ++j) {
                if (j != i && (parsed[j].send == hotkey || parsed[j].insert == hotkey)) {
                    const std::string& name = rules[j].name;
                    found.push_back(RuleIssue::duplicate(kind, name.empty() ? "Untitled" : name));
                    break;
                }
            }
        }
        result[rules[i].id] = std::move(found);
    }
    return result;
}

SuggestedHotkeys suggestHotkeys(const std::vector<Rule>& existing) {
    std::unordered_set<Hotkey> used;
    for (const Rule& rule : existing) {
        for (TriggerKind kind : bothSlots) {
            if (auto hotkey = rule.hotkeyFor(kind)) {
                used.insert(*hotkey);
            }
        }
    }
    const Modifiers command = Modifiers::command;
    const Modifiers shift = Modifiers::shift;
    const Modifiers control = Modifiers::control;
    const Modifiers option = Modifiers::option;

    SuggestedHotkeys suggestion;
    for (Modifiers modifiers : {command, shift | command, control, control | command,
                                control | shift, option | command}) {
        Hotkey candidate{modifiers, MainKey::enter};
        if (!used.contains(candidate)) {
            suggestion.send = candidate.stringValue();
            used.insert(candidate);
            break;
        }
    }
    constexpr MainKey digits[] = {MainKey::n1, MainKey::n2, MainKey::n3, MainKey::n4, MainKey::n5,
                                  MainKey::n6, MainKey::n7, MainKey::n8, MainKey::n9, MainKey::n0};
#ifdef __APPLE__
    const Modifiers digitModifiers[] = {command, shift | command, control};
#else
    // GNOME and KDE Plasma take Super with a digit (see Rule::defaultRules).
    const Modifiers digitModifiers[] = {control | option, shift | command, control};
#endif
    for (Modifiers modifiers : digitModifiers) {
        for (MainKey digit : digits) {
            Hotkey candidate{modifiers, digit};
            if (!used.contains(candidate)) {
                suggestion.insert = candidate.stringValue();
                return suggestion;
            }
        }
    }
    return suggestion;
}

} // namespace tamsel::Validator
