#pragma once

// What fires: every shortcut of the enabled, non-empty prompts, mapped to the
// prompt and the slot that owns it. Built on the main thread, read on the tap
// thread as an immutable value.

#include <optional>
#include <unordered_map>
#include <vector>

#include "core/config/Config.h"
#include "core/config/Hotkey.h"

namespace tamsel {

class TriggerIndex {
public:
    struct Match {
        Rule rule;
        TriggerKind kind = TriggerKind::send;
        bool operator==(const Match&) const = default;
    };

    TriggerIndex() = default;
    // Walks the rules in order; the first owner of a shortcut keeps it.
    explicit TriggerIndex(const std::vector<Rule>& rules);

    // A plain lookup: no allocation, safe on the tap thread.
    const Match* match(const Hotkey& hotkey) const;
    bool isEmpty() const { return table_.empty(); }
    const std::unordered_map<Hotkey, Match>& table() const { return table_; }

    bool operator==(const TriggerIndex&) const = default;

private:
    std::unordered_map<Hotkey, Match> table_;
};

} // namespace tamsel
