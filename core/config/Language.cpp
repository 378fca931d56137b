#include "core/config/Language.h"

#include <algorithm>
#include <cstdlib>

#include "core/toolkit/TextToolkit.h"

namespace tamsel {

std::string_view rawValue(Language value) {
    return value == Language::en ? "en" : "ja";
}

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
    for (auto value :
         {LanguagePreference::system, LanguagePreference::en, LanguagePreference::ja}) {
        if (rawValue(value) == raw) {
            return value;
        }
    }
    return std::nullopt;
}

Language languageFromSystem(const std::vector<std::string>& preferredLanguages) {
    for (const std::string& identifier : preferredLanguages) {
        std::string_view rest = identifier;
        std::string_view first;
        while (first.empty() && !rest.empty()) {
            const auto dash = rest.find('-');
            first = rest.substr(0, dash);
            rest = dash == std::string_view::npos ? std::string_view{} : rest.substr(dash + 1);
        }
        if (first.empty()) {
            continue;
        }
        const std::string code = TextToolkit::lowercased(first);
        if (code == "ja") {
            return Language::ja;
        }
        if (code == "en") {
            return Language::en;
        }
    }
    return Language::en;
}

Language resolveLanguage(LanguagePreference preference,
                         const std::vector<std::string>& preferredLanguages) {
    switch (preference) {
    case LanguagePreference::en:
        return Language::en;
    case LanguagePreference::ja:
        return Language::ja;
    case LanguagePreference::system:
        break;
    }
    return languageFromSystem(preferredLanguages);
}

namespace {

// "ja_JP.UTF-8@modifier" -> "ja-JP"; nothing for "C", "POSIX" or an empty value.
std::optional<std::string> identifierFromLocale(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") {
        return std::nullopt;
    }
    std::string identifier(locale);
    std::replace(identifier.begin(), identifier.end(), '_', '-');
    return identifier;
}

} // namespace

std::vector<std::string> systemPreferredLanguages(const EnvironmentLookup& environment) {
    std::vector<std::string> identifiers;
    if (const auto list = environment("LANGUAGE")) {
        std::string_view rest = *list;
        while (true) {
            const auto colon = rest.find(':');
            if (auto identifier = identifierFromLocale(rest.substr(0, colon))) {
                identifiers.push_back(std::move(*identifier));
            }
            if (colon == std::string_view::npos) {
                break;
            }
            rest = rest.substr(colon + 1);
        }
    }
    // Only the first of these that is set decides the messages' locale; the
    // later ones are overridden, so "LC_ALL=C" means no language at all.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const auto value = environment(name);
        if (!value || value->empty()) {
            continue;
        }
        if (auto identifier = identifierFromLocale(*value)) {
            identifiers.push_back(std::move(*identifier));
        }
        break;
    }
    return identifiers;
}

std::vector<std::string> systemPreferredLanguages() {
    return systemPreferredLanguages([](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    });
}

} // namespace tamsel
