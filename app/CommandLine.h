#pragma once

// What the command line asks for: the tray application, one of the two
// developer modes, or an answer about the program itself.

#include <cstdint>
#include <string>
#include <vector>

#include "app/FireCommand.h"

namespace tamsel {

struct CommandLine {
    enum class Mode {
        application,
        renderUI,
        promptLabPreview,
        draftCheck,
        fire,
        help,
        version,
        unknownOption,
        // Options that do not go together, or one without its value.
        usageError,
    };

    static constexpr std::int64_t defaultPreviewLimit = 5;
    // What `unknownOption` ends the process with, as usage errors usually do.
    static constexpr int usageExitCode = 2;

    Mode mode = Mode::application;
    std::string renderDirectory = ".";
    std::int64_t previewLimit = defaultPreviewLimit;
    // The first argument that looks like an option and is none of ours.
    std::string unknownOption;
    // For `fire`: "--fire PROMPT", with "--send" (the default) or "--insert".
    FireRequest fire;
    // For `usageError`: what is wrong, as one sentence.
    std::string usageProblem;

    // `arguments` includes the program path. "--help" wins over "--version",
    // which wins over an unknown "--" option and a misused "--fire", "--send"
    // or "--insert"; then "--fire" wins over "--render-ui", which wins over
    // "--draft-check", which wins over "--prompt-lab-preview". Each may stand anywhere. The argument following
    // a mode is its value, whatever it looks like. Qt's own options take one
    // dash ("-platform") and are left to Qt.
    static CommandLine parse(const std::vector<std::string>& arguments);

    // The text of "--help"; `configurationFile` is where this user's file lies.
    static std::string usage(const std::string& programName, const std::string& configurationFile);

    bool operator==(const CommandLine&) const = default;
};

} // namespace tamsel
