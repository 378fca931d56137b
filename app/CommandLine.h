#pragma once

// What the command line asks for: the tray application, or one of the two
// developer modes.

#include <cstdint>
#include <string>
#include <vector>

namespace tamsel {

struct CommandLine {
    enum class Mode { application, renderUI, promptLabPreview, draftCheck };

    static constexpr std::int64_t defaultPreviewLimit = 5;

    Mode mode = Mode::application;
    std::string renderDirectory = ".";
    std::int64_t previewLimit = defaultPreviewLimit;

    // `arguments` includes the program path. "--render-ui" wins over
    // "--prompt-lab-preview"; each may stand anywhere.
    static CommandLine parse(const std::vector<std::string>& arguments);

    bool operator==(const CommandLine&) const = default;
};

} // namespace tamsel
