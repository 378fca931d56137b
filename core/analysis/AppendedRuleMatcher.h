#pragma once

// Recognises a prompt's text that Tamsel appended to the end of a message,
// with its separator, with the separator's line breaks flattened to spaces
// (as some terminals paste them), or alone.

#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/TranscriptScanner.h"
#include "core/config/Config.h"

namespace tamsel {

class AppendedRuleMatcher {
public:
    explicit AppendedRuleMatcher(const std::vector<Rule>& rules);

    // The text without the first rule's text found at its end (in rule order),
    // trimmed, and that rule's id; the text itself when none is found.
    TranscriptScanner::SeparatedText separate(std::string_view text) const;

private:
    struct Entry {
        std::string id;
        std::vector<std::string> tails; // trimmed, in the order they are tried
    };
    std::vector<Entry> entries;
};

} // namespace tamsel
