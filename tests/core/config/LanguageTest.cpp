#include "core/config/Language.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

using namespace tamsel;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using Env = std::map<std::string, std::string>;

std::vector<std::string> preferred(const Env& env) {
    return systemPreferredLanguages([&env](const std::string& name) -> std::optional<std::string> {
        const auto found = env.find(name);
        if (found == env.end()) {
            return std::nullopt;
        }
        return found->second;
    });
}

} // namespace

// Only the first piece of an identifier names the language, whatever its
// case; a region or script never does; anything else falls back to English.
TEST(Language, FromSystemTakesTheFirstEnglishOrJapaneseIdentifier) {
    const std::pair<std::vector<std::string>, Language> cases[] = {
        {{"fr-FR", "ja-JP", "en-US"}, Language::ja},
        {{"de", "en-GB", "ja"}, Language::en},
        {{"JA"}, Language::ja},
        {{"En-us"}, Language::en},
        {{"zh-Hans-JP"}, Language::en},
        {{"zh-Hans-JP", "ja"}, Language::ja},
        {{}, Language::en},
        {{"", "-", "jap", "ja_JP"}, Language::en},
        {{"--", "-ja-JP"}, Language::ja},
        {{"---", "", "en"}, Language::en},
    };
    for (const auto& [identifiers, language] : cases) {
        EXPECT_EQ(languageFromSystem(identifiers), language)
            << ::testing::PrintToString(identifiers);
    }
}

TEST(Language, ResolveHonoursAnExplicitChoice) {
    const std::vector<std::string> japaneseSystem{"ja-JP"};
    EXPECT_EQ(resolveLanguage(LanguagePreference::en, japaneseSystem), Language::en);
    EXPECT_EQ(resolveLanguage(LanguagePreference::ja, {"en-US"}), Language::ja);
    EXPECT_EQ(resolveLanguage(LanguagePreference::system, japaneseSystem), Language::ja);
    EXPECT_EQ(resolveLanguage(LanguagePreference::system, {}), Language::en);
}

TEST(Language, PreferredLanguagesFromLocaleVariables) {
    EXPECT_THAT(preferred({}), IsEmpty());
    EXPECT_THAT(preferred({{"LANG", "ja_JP.UTF-8"}}), ElementsAre("ja-JP"));
    EXPECT_THAT(preferred({{"LANG", "en_US.ISO-8859-15@euro"}}), ElementsAre("en-US"));
    EXPECT_THAT(preferred({{"LANG", "de_DE@euro"}}), ElementsAre("de-DE"));
    EXPECT_THAT(preferred({{"LANG", "ja"}}), ElementsAre("ja"));
}

TEST(Language, LanguageListComesFirstAndSkipsEmptyAndNeutralEntries) {
    EXPECT_THAT(preferred({{"LANGUAGE", "fr_FR:ja::en_GB:"}, {"LANG", "de_DE.UTF-8"}}),
                ElementsAre("fr-FR", "ja", "en-GB", "de-DE"));
    EXPECT_THAT(preferred({{"LANGUAGE", "C:POSIX:C.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}),
                ElementsAre("ja-JP"));
    EXPECT_THAT(preferred({{"LANGUAGE", ""}, {"LANG", "ja_JP.UTF-8"}}), ElementsAre("ja-JP"));
}

TEST(Language, OnlyTheLocaleThatGovernsMessagesCounts) {
    EXPECT_THAT(
        preferred(
            {{"LC_ALL", "en_US.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}),
        ElementsAre("en-US"));
    EXPECT_THAT(preferred({{"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}}),
                ElementsAre("ja-JP"));
    // An empty variable counts as unset.
    EXPECT_THAT(preferred({{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "ja_JP.UTF-8"}}),
                ElementsAre("ja-JP"));
    // A user who forces the C locale gets untranslated text, not LANG's language.
    EXPECT_THAT(preferred({{"LC_ALL", "C"}, {"LANG", "ja_JP.UTF-8"}}), IsEmpty());
    EXPECT_THAT(preferred({{"LC_MESSAGES", "POSIX"}, {"LANG", "ja_JP.UTF-8"}}), IsEmpty());
}

TEST(Language, EnvironmentResolvesEndToEnd) {
    EXPECT_EQ(languageFromSystem(preferred({{"LANGUAGE", "fr:ja"}, {"LANG", "en_US.UTF-8"}})),
              Language::ja);
    EXPECT_EQ(languageFromSystem(preferred({{"LANG", "C.UTF-8"}})), Language::en);
}
