#include "app/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace tamsel {

namespace {

// A decimal integer with an optional sign, within the signed 64-bit range.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine result;
    auto following = [&](std::vector<std::string>::const_iterator at) -> const std::string* {
        return at + 1 == arguments.end() ? nullptr : &*(at + 1);
    };
    if (auto render = std::find(arguments.begin(), arguments.end(), "--render-ui");
        render != arguments.end()) {
        result.mode = Mode::renderUI;
        if (const std::string* directory = following(render)) {
            result.renderDirectory = *directory;
        }
        return result;
    }
    if (std::find(arguments.begin(), arguments.end(), "--draft-check") != arguments.end()) {
        result.mode = Mode::draftCheck;
        return result;
    }
    if (auto preview = std::find(arguments.begin(), arguments.end(), "--prompt-lab-preview");
        preview != arguments.end()) {
        result.mode = Mode::promptLabPreview;
        if (const std::string* count = following(preview)) {
            // Taking a negative number of suggestions means taking none.
            result.previewLimit =
                std::max<std::int64_t>(parseInteger(*count).value_or(defaultPreviewLimit), 0);
        }
    }
    return result;
}

} // namespace tamsel
