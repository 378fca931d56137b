#include "core/analysis/AppendedRuleMatcher.h"

#include "core/toolkit/TextToolkit.h"

namespace tamsel {

AppendedRuleMatcher::AppendedRuleMatcher(const std::vector<Rule>& rules) {
    for (const Rule& rule : rules) {
        if (TextToolkit::isBlank(rule.text)) {
            continue;
        }
        const std::string full = rule.effectiveSeparator() + rule.text;
        std::string flattened;
        flattened.reserve(full.size());
        for (std::size_t i = 0; i < full.size(); ++i) {
            if (full[i] == '\r' && i + 1 < full.size() && full[i + 1] == '\n') {
                flattened += ' ';
                ++i;
            } else if (full[i] == '\n' || full[i] == '\r') {
                flattened += ' ';
            } else {
                flattened += full[i];
            }
        }
        Entry entry{rule.id, {}};
        for (std::string_view tail :
             {std::string_view(full), std::string_view(flattened), std::string_view(rule.text)}) {
            tail = TextToolkit::trimWhitespaceAndNewlines(tail);
            if (!tail.empty()) {
                entry.tails.emplace_back(tail);
            }
        }
        entries.push_back(std::move(entry));
    }
}

TranscriptScanner::SeparatedText AppendedRuleMatcher::separate(std::string_view text) const {
    for (const Entry& entry : entries) {
        for (const std::string& tail : entry.tails) {
            if (TextToolkit::hasGraphemeSuffix(text, tail)) {
                std::string_view body = text.substr(0, text.size() - tail.size());
                return {std::string(TextToolkit::trimWhitespaceAndNewlines(body)), entry.id};
            }
        }
    }
    return {std::string(text), std::nullopt};
}

} // namespace tamsel
