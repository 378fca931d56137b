#include "core/Language.h"

namespace tamsel {

std::string_view rawValue(Language value) { return value == Language::en ? "en" : "ja"; }

std::string_view rawValue(LanguagePreference value) {
    switch (value) {
    case LanguagePreference::system:
        return "system";
    case LanguagePreference::en:
        return "en";
    case LanguagePreference::ja:
        return "ja";
    }
    return "system";
}

std::optional<LanguagePreference> languagePreferenceFromRawValue(std::string_view raw) {
    for (auto value : {LanguagePreference::system, LanguagePreference::en, LanguagePreference::ja}) {
        if (rawValue(value) == raw) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace tamsel
