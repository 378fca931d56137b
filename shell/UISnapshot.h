#pragma once

// `tamsel --render-ui DIR`: renders the popover in its main states, the Prompt
// Lab window and the two tray icons to PNG files, off-screen, then exits.

#include <string>

namespace tamsel::UISnapshot {

// Creates the Qt application itself (offscreen platform, no display needed).
// 0 when every file was written, 1 at the first failure.
int run(const std::string& outputDirectory, int argc, char** argv);

} // namespace tamsel::UISnapshot
