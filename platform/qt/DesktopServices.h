#pragma once

// What the settings page asks of the desktop: launch at login (an XDG
// autostart entry), opening the configuration file with the desktop's
// default application, and showing it in the file manager.

#include <filesystem>
#include <optional>
#include <string>

namespace tamsel {

namespace Autostart {

// $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
std::filesystem::path folder();
// The desktop entry that starts `executable`.
std::string entry(const std::filesystem::path& executable);
// No value on success, else a message the user can act on.
std::optional<std::string> setEnabled(bool enabled, const std::filesystem::path& entryFile,
                                      const std::filesystem::path& executable);
bool isEnabled(const std::filesystem::path& entryFile);

} // namespace Autostart

class DesktopServices {
public:
    static constexpr const char* entryName = "tamsel.desktop";

    std::optional<std::string> setLaunchAtLogin(bool enabled);
    bool launchesAtLogin() const;
    void openFile(const std::filesystem::path& file);
    // Through the file manager's D-Bus service where one runs, else opens the folder.
    void revealFile(const std::filesystem::path& file);
};

} // namespace tamsel
