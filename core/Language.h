#pragma once

// The two display languages and how the user's choice resolves to one.

#include <cstdint>
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

} // namespace tamsel
