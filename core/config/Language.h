#pragma once

// The two display languages and how the user's choice resolves to one.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

enum class Language : std::uint8_t { en, ja };
enum class LanguagePreference : std::uint8_t { system, en, ja };

std::string_view rawValue(Language value);
std::string_view rawValue(LanguagePreference value);
std::optional<LanguagePreference> languagePreferenceFromRawValue(std::string_view raw);

// The first of the system's preferred languages (identifiers like "ja-JP")
// that is English or Japanese; English when none is.
Language languageFromSystem(const std::vector<std::string>& preferredLanguages);
Language resolveLanguage(LanguagePreference preference,
                         const std::vector<std::string>& preferredLanguages);

// Reads one environment variable; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The user's preferred languages as identifiers like "ja-JP", read from the
// locale variables: every entry of LANGUAGE, then the locale that governs
// messages (LC_ALL, else LC_MESSAGES, else LANG). "C" and "POSIX" name no
// language and are left out.
std::vector<std::string> systemPreferredLanguages(const EnvironmentLookup& environment);
std::vector<std::string> systemPreferredLanguages(); // the process environment

} // namespace tamsel
