#pragma once

// What the settings page asks of the desktop. The tray application plugs in
// the real ones; each default does the harmless thing, so that tests and the
// snapshot mode need no desktop.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tamsel {

struct SettingsActions {
    // Ends the application (the tray application runs its shutdown).
    std::function<void()> quit = [] {};
    // Whether Tamsel starts when the user logs in.
    std::function<bool()> launchAtLogin = [] { return false; };
    // Turns starting at login on or off; a message the user can act on when
    // it could not be done.
    std::function<std::optional<std::string>(bool)> setLaunchAtLogin =
        [](bool) -> std::optional<std::string> { return std::nullopt; };
    // Opens the file in the desktop's default application for it.
    std::function<void(const std::filesystem::path&)> openFile = [](const auto&) {};
    // Shows the file in the desktop's file manager.
    std::function<void(const std::filesystem::path&)> revealFile = [](const auto&) {};
    // How commands for desktop shortcuts name this program: "tamsel" where
    // the PATH leads to the running file, its full path otherwise.
    std::function<std::string()> commandProgram = [] { return std::string("tamsel"); };
    // Puts a text on the clipboard for the user to paste elsewhere.
    std::function<void(const std::string&)> copyText = [](const std::string&) {};
};

} // namespace tamsel
