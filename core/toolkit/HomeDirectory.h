#pragma once

#include <filesystem>

namespace tamsel {

// The user's home folder: $HOME, else the password database's entry; empty
// when neither says.
std::filesystem::path homeDirectory();

} // namespace tamsel
