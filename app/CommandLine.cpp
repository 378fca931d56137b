#include "app/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace tamsel {

namespace {

constexpr std::string_view renderOption = "--render-ui";
constexpr std::string_view previewOption = "--prompt-lab-preview";
constexpr std::string_view draftCheckOption = "--draft-check";
constexpr std::string_view fireOption = "--fire";
constexpr std::string_view sendOption = "--send";
constexpr std::string_view insertOption = "--insert";

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

bool isHelp(std::string_view argument) {
    return argument == "--help" || argument == "-h";
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine result;
    const auto begin = arguments.empty() ? arguments.end() : arguments.begin() + 1;
    if (std::any_of(begin, arguments.end(), isHelp)) {
        result.mode = Mode::help;
        return result;
    }
    if (std::find(begin, arguments.end(), "--version") != arguments.end()) {
        result.mode = Mode::version;
        return result;
    }
    const std::string* firePrompt = nullptr;
    bool fireOptionSeen = false;
    bool send = false;
    bool insert = false;
    for (auto at = begin; at != arguments.end(); ++at) {
        if (*at == renderOption || *at == previewOption || *at == fireOption) {
            fireOptionSeen = fireOptionSeen || *at == fireOption;
            if (at + 1 == arguments.end()) {
                break;
            }
            ++at; // the mode's value, even when it begins with dashes
            if (*(at - 1) == fireOption) {
                firePrompt = &*at;
            }
        } else if (*at == sendOption) {
            send = true;
        } else if (*at == insertOption) {
            insert = true;
        } else if (*at != draftCheckOption && at->starts_with("--")) {
            result.mode = Mode::unknownOption;
            result.unknownOption = *at;
            return result;
        }
    }
    auto usageError = [&](std::string problem) {
        result.mode = Mode::usageError;
        result.usageProblem = std::move(problem);
        return result;
    };
    if (send && insert) {
        return usageError("--send and --insert cannot be given together.");
    }
    if (fireOptionSeen && (firePrompt == nullptr || firePrompt->empty())) {
        return usageError("--fire needs the prompt's position in the list (from 1) or its id.");
    }
    if ((send || insert) && !fireOptionSeen) {
        return usageError(std::string(send ? sendOption : insertOption) +
                          " goes only with --fire PROMPT.");
    }
    if (firePrompt != nullptr) {
        result.mode = Mode::fire;
        result.fire = {insert ? TriggerKind::insert : TriggerKind::send, *firePrompt};
        return result;
    }

    auto following = [&](std::vector<std::string>::const_iterator at) -> const std::string* {
        return at + 1 == arguments.end() ? nullptr : &*(at + 1);
    };
    if (auto render = std::find(arguments.begin(), arguments.end(), renderOption);
        render != arguments.end()) {
        result.mode = Mode::renderUI;
        if (const std::string* directory = following(render)) {
            result.renderDirectory = *directory;
        }
        return result;
    }
    if (std::find(arguments.begin(), arguments.end(), draftCheckOption) != arguments.end()) {
        result.mode = Mode::draftCheck;
        return result;
    }
    if (auto preview = std::find(arguments.begin(), arguments.end(), previewOption);
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

std::string CommandLine::usage(const std::string& programName,
                               const std::string& configurationFile) {
    std::string text;
    text += "Usage: " + programName + " [OPTION]\n";
    text += "\n";
    text += "Without an option, starts the tray application: one per user and display.\n";
    text += "Started again, it asks the running one to open its popover and leaves.\n";
    text += "\n";
    text += "Options:\n";
    text += "  --render-ui [DIR]           draw the popover, the Prompt Lab and the tray\n";
    text += "                              icons to PNG files in DIR (default \".\"), no display\n";
    text += "                              needed\n";
    text += "  --prompt-lab-preview [N]    analyse ~/.claude and print the first N\n";
    text += "                              suggestions (default 5) to standard error\n";
    text += "  --draft-check               look for a model server on this computer for the\n";
    text += "                              Prompt Lab's drafts, print what was found; exit\n";
    text += "                              status 0 when a model can draft\n";
    text += "  --fire PROMPT [--send|--insert]\n";
    text += "                              fire a prompt in the running Tamsel, as its\n";
    text += "                              shortcut would: \"Append & Send\" (--send, the\n";
    text += "                              default) or \"Append Only\" (--insert); PROMPT is\n";
    text += "                              its position in the list (from 1) or its id. For\n";
    text += "                              desktops where a program may not watch keys: bind\n";
    text += "                              this command in the desktop's shortcut settings.\n";
    text += "                              Exit status: 0 fired, 1 no Tamsel running here,\n";
    text += "                              2 usage error, 3 the running Tamsel declined\n";
    text += "  --version                   print the version and exit\n";
    text += "  -h, --help                  print this help and exit\n";
    text += "\n";
    text += "Configuration file: " + configurationFile + "\n";
    return text;
}

} // namespace tamsel
