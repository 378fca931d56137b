#include "core/config/TriggerIndex.h"

namespace tamsel {

TriggerIndex::TriggerIndex(const std::vector<Rule>& rules) {
    for (const Rule& rule : rules) {
        if (!rule.isFireable()) {
            continue;
        }
        for (TriggerKind kind : {TriggerKind::send, TriggerKind::insert}) {
            auto hotkey = rule.hotkeyFor(kind);
            if (!hotkey || !hotkey->hasModifier()) {
                continue;
            }
            table_.try_emplace(*hotkey, Match{rule, kind});
        }
    }
}

const TriggerIndex::Match* TriggerIndex::match(const Hotkey& hotkey) const {
    auto found = table_.find(hotkey);
    return found == table_.end() ? nullptr : &found->second;
}

} // namespace tamsel
