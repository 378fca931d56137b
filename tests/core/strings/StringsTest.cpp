#include "core/strings/Strings.h"

#include <gtest/gtest.h>

#include <set>

#include "core/config/ConfigCodec.h"

using namespace tamsel;

TEST(Strings, EveryKeyHasBothTextsAndItsOwnName) {
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < allStringKeys.size(); ++i) {
        const StringKey key = allStringKeys[i];
        EXPECT_EQ(static_cast<std::size_t>(key), i);
        EXPECT_FALSE(Strings::string(key, Language::en).empty()) << rawValue(key);
        EXPECT_FALSE(Strings::string(key, Language::ja).empty()) << rawValue(key);
        names.insert(rawValue(key));
    }
    EXPECT_EQ(names.size(), allStringKeys.size());
}

TEST(Strings, JapaneseFallsBackToEnglishWhenItHasNoText) {
    EXPECT_EQ(Strings::text({"Scan", ""}, Language::ja), "Scan");
    EXPECT_EQ(Strings::text({"Scan", "走査する"}, Language::ja), "走査する");
    EXPECT_EQ(Strings::text({"Scan", "走査する"}, Language::en), "Scan");
}

// Each builder puts its values where the sentence needs them, in both languages.
TEST(Strings, MessageBuildersPlaceTheirValues) {
    struct Case {
        std::string built;
        const char* expected;
    };
    const Case cases[] = {
        {Strings::warnDuplicate("", Language::en),
         "Same shortcut as “”. The one higher in the list wins."},
        {Strings::warnDuplicate("Review", Language::ja),
         "「Review」とキーが重複しています。一覧の上にあるものが優先されます。"},
        {Strings::lastFired("Plan only", TriggerKind::insert, Language::en),
         "Last: Plan only — Append Only"},
        {Strings::lastFired("テスト", TriggerKind::send, Language::ja),
         "直近: テスト（付与して送信）"},
        {Strings::secureInputDetail(std::nullopt, Language::en),
         "An app has turned on secure keyboard entry. Shortcuts resume once it is released."},
        {Strings::secureInputDetail("Terminal", Language::ja),
         "「Terminal」がセキュア入力を有効にしているようです。解除されると再び動作します。"
         "Secure Keyboard Entry の設定か、パスワード入力欄を確認してください。"},
        {Strings::labSummary(1234, 30, 7, Language::en),
         "7 rule groups from CLAUDE.md · 1234 prompts over 30 days"},
        {Strings::labSummary(1234, 30, 7, Language::ja),
         "CLAUDE.md の規約 7 件 ・ 直近 30 日の依頼文 1234 件"},
        {Strings::labEvidenceDetail(CandidateKind::unfollowedConvention, 4, Language::en),
         "retyped in 4 separate conversations"},
        {Strings::labEvidenceDetail(CandidateKind::convention, 4, Language::ja),
         "この見出しの規約 4 項目"},
        {Strings::labEvidenceDetail(CandidateKind::correction, 12, Language::en),
         "corrected in 12 separate conversations"},
        {Strings::labEvidenceDetail(CandidateKind::repeated, 4, Language::ja),
         "別々の会話で 4 回、打っている"},
        {Strings::labUsageEntry("Review", 10, Language::en), "Review — used 10×"},
        {Strings::labUsageEntry("Review", 0, Language::en), "Review — never used"},
        {Strings::labUsageEntry("Review", 0, Language::ja), "Review — 未使用"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.built, c.expected);
    }
}

namespace {

TEST(Strings, UnavailableShortcutsListsEachInBothLanguages) {
    EXPECT_EQ(tamsel::Strings::unavailableShortcuts({"Super+1"}, tamsel::Language::en),
              "Another app already uses Super+1, so Tamsel cannot register it. Change that app's "
              "setting or choose another shortcut.");
    EXPECT_EQ(tamsel::Strings::unavailableShortcuts({"Super+1", "Ctrl+⏎"}, tamsel::Language::ja),
              "別のアプリが使用中のため登録できないショートカット: Super+1、Ctrl+⏎。"
              "そのアプリ側の設定を変えるか、別のショートカットを選んでください。");
    using tamsel::Strings::keyboardAccessMissing;
    EXPECT_NE(keyboardAccessMissing(false, tamsel::Language::en),
              keyboardAccessMissing(true, tamsel::Language::en));
    EXPECT_NE(keyboardAccessMissing(false, tamsel::Language::ja).find("XWayland"),
              std::string::npos);
}

} // namespace

// The reader's own messages, as the reader writes them, read in Japanese; the
// system's messages and English pass through untouched.
TEST(Strings, ConfigErrorDetailSpeaksTheUsersLanguage) {
    struct Case {
        std::string_view bytes;
        std::string_view japaneseHas;
    };
    const Case cases[] = {{"{ \"rules\": [ }", "予期しない文字 '}' があります"},
                          {"{ \"enabled\": true", "データが途中で終わっています"},
                          {"[1, 2]", "最上位が JSON のオブジェクトではありません"},
                          {"{ \"rules\": 5 }", "rules の型が違います"}};
    for (const Case& c : cases) {
        const auto decoded = ConfigCodec::decode(c.bytes);
        ASSERT_FALSE(decoded.config.has_value()) << c.bytes;
        const std::string ja = Strings::configErrorDetail(decoded.error, Language::ja);
        EXPECT_NE(ja.find(c.japaneseHas), std::string::npos) << decoded.error << " → " << ja;
        EXPECT_EQ(ja.find("The given data"), std::string::npos) << ja;
        EXPECT_EQ(Strings::configErrorDetail(decoded.error, Language::en), decoded.error);
    }
    const auto positioned = ConfigCodec::decode("{\n  \"rules\": [ }");
    ASSERT_FALSE(positioned.config.has_value());
    EXPECT_NE(Strings::configErrorDetail(positioned.error, Language::ja).find("2 行 "),
              std::string::npos)
        << Strings::configErrorDetail(positioned.error, Language::ja);
    const std::string system = "Could not open \"/x/config.json\": Permission denied.";
    EXPECT_EQ(Strings::configErrorDetail(system, Language::ja), system);
}
