#pragma once

// Where the remote desktop portal's restore token is kept between runs: a
// file of its own next to the configuration, readable by the user alone.
// The token lets the desktop skip its consent dialog, so it never goes into
// config.json, which people share and paste into bug reports.

#include <filesystem>
#include <optional>
#include <string>

namespace tamsel::PortalRestoreToken {

// ~/.config/tamsel/portal-restore-token for the given home folder.
std::filesystem::path fileFor(const std::filesystem::path& home);
// No value when there is no file, or it holds no token.
std::optional<std::string> read(const std::filesystem::path& file);
// Replaces the file in one step (mode 0600); the reason when it could not.
std::optional<std::string> write(const std::filesystem::path& file, const std::string& token);
void remove(const std::filesystem::path& file);

} // namespace tamsel::PortalRestoreToken
