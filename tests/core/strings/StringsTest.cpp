#include "core/strings/Strings.h"

#include <gtest/gtest.h>

#include <set>

using namespace tamsel;

TEST(Strings, EveryKeyHasBothTexts) {
    ASSERT_EQ(allStringKeys.size(), 96u);
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < allStringKeys.size(); ++i) {
        const StringKey key = allStringKeys[i];
        EXPECT_EQ(static_cast<std::size_t>(key), i);
        EXPECT_FALSE(Strings::string(key, Language::en).empty()) << rawValue(key);
        EXPECT_FALSE(Strings::string(key, Language::ja).empty()) << rawValue(key);
        names.insert(rawValue(key));
    }
    EXPECT_EQ(names.size(), 96u);
    EXPECT_EQ(allStringKeys.front(), StringKey::statusActive);
    EXPECT_EQ(allStringKeys.back(), StringKey::reloadedFromDisk);
}

TEST(Strings, RawValueIsTheCaseName) {
    EXPECT_EQ(rawValue(StringKey::statusActive), "statusActive");
    EXPECT_EQ(rawValue(StringKey::labModelDeviceNotEligible), "labModelDeviceNotEligible");
    EXPECT_EQ(rawValue(StringKey::reloadedFromDisk), "reloadedFromDisk");
}

TEST(Strings, LooksUpTheTextOfTheLanguage) {
    EXPECT_EQ(Strings::string(StringKey::statusActive, Language::en), "Active");
    EXPECT_EQ(Strings::string(StringKey::statusActive, Language::ja), "動作中");
    EXPECT_EQ(Strings::string(StringKey::triggerSend, Language::en), "Append & Send");
    EXPECT_EQ(Strings::string(StringKey::aboutSecureInput, Language::ja),
              "macOS がセキュア入力モードのあいだ（パスワード入力待ちなど）はショートカットが発火し"
              "ません。");
    EXPECT_EQ(Strings::string(StringKey::secureInputTitle, Language::en),
              "Secure input is on — shortcuts cannot fire right now");
    EXPECT_EQ(Strings::string(StringKey::setupStep1, Language::en),
              "Open Privacy & Security › Accessibility.");
    EXPECT_EQ(Strings::string(StringKey::setupStep1, Language::ja),
              "「プライバシーとセキュリティ」→「アクセシビリティ」を開く。");
    EXPECT_EQ(Strings::string(StringKey::labScanning, Language::en),
              "Reading your conventions and history…");
    EXPECT_EQ(Strings::string(StringKey::dismiss, Language::ja), "閉じる");
}

TEST(Strings, JapaneseFallsBackToEnglishWhenItHasNoText) {
    EXPECT_EQ(Strings::text({"Scan", ""}, Language::ja), "Scan");
    EXPECT_EQ(Strings::text({"Scan", "走査する"}, Language::ja), "走査する");
    EXPECT_EQ(Strings::text({"Scan", "走査する"}, Language::en), "Scan");
    EXPECT_EQ(Strings::texts(StringKey::labScan), (Strings::TextPair{"Scan", "走査する"}));
}

TEST(Strings, LanguageNamesAreWrittenInTheirOwnLanguage) {
    for (Language language : {Language::en, Language::ja}) {
        EXPECT_EQ(Strings::string(StringKey::languageEnglish, language), "English");
        EXPECT_EQ(Strings::string(StringKey::languageJapanese, language), "日本語");
    }
}

TEST(Strings, WarnDuplicateQuotesTheNameUnchanged) {
    EXPECT_EQ(Strings::warnDuplicate("Review", Language::en),
              "Same shortcut as “Review”. The one higher in the list wins.");
    EXPECT_EQ(Strings::warnDuplicate("Review", Language::ja),
              "「Review」とキーが重複しています。一覧の上にあるものが優先されます。");
    EXPECT_EQ(Strings::warnDuplicate("Untitled", Language::en),
              "Same shortcut as “Untitled”. The one higher in the list wins.");
    EXPECT_EQ(Strings::warnDuplicate("", Language::en),
              "Same shortcut as “”. The one higher in the list wins.");
}

TEST(Strings, LastFiredNamesTheShortcutKind) {
    EXPECT_EQ(Strings::lastFired("Plan only", TriggerKind::insert, Language::en),
              "Last: Plan only — Append Only");
    EXPECT_EQ(Strings::lastFired("Plan only", TriggerKind::insert, Language::ja),
              "直近: Plan only（付与だけ）");
    EXPECT_EQ(Strings::lastFired("Tests", TriggerKind::send, Language::en),
              "Last: Tests — Append & Send");
    EXPECT_EQ(Strings::lastFired("テスト", TriggerKind::send, Language::ja),
              "直近: テスト（付与して送信）");
}

TEST(Strings, SecureInputDetailWithAndWithoutHolder) {
    EXPECT_EQ(Strings::secureInputDetail(std::nullopt, Language::en),
              "An app has turned on secure keyboard entry. Shortcuts resume once it is released.");
    EXPECT_EQ(Strings::secureInputDetail(std::nullopt, Language::ja),
              "いずれかのアプリがセキュア入力を有効にしています。解除されると再び動作します。");
    EXPECT_EQ(Strings::secureInputDetail("Terminal", Language::en),
              "“Terminal” appears to have secure keyboard entry turned on. Shortcuts resume once "
              "it is released — check its Secure Keyboard Entry setting or close its password "
              "prompt.");
    EXPECT_EQ(Strings::secureInputDetail("Terminal", Language::ja),
              "「Terminal」がセキュア入力を有効にしているようです。解除されると再び動作します。"
              "Secure Keyboard Entry の設定か、パスワード入力欄を確認してください。");
}

TEST(Strings, UnavailableShortcutsListsEachInBothLanguages) {
    EXPECT_EQ(Strings::unavailableShortcuts({"⌘1"}, Language::en),
              "Another app already uses ⌘1, so Tamsel cannot register it. Change that app's "
              "setting or choose another shortcut.");
    EXPECT_EQ(Strings::unavailableShortcuts({"⌘1", "⌃⏎"}, Language::ja),
              "別のアプリが使用中のため登録できないショートカット: ⌘1、⌃⏎。"
              "そのアプリ側の設定を変えるか、別のショートカットを選んでください。");
    EXPECT_NE(Strings::keyboardAccessMissing(false, Language::en),
              Strings::keyboardAccessMissing(true, Language::en));
    EXPECT_NE(Strings::keyboardAccessMissing(false, Language::ja).find("XWayland"),
              std::string::npos);
}

TEST(Strings, LabSummaryPlacesEachNumber) {
    EXPECT_EQ(Strings::labSummary(1234, 30, 7, Language::en),
              "7 rule groups from CLAUDE.md · 1234 prompts over 30 days");
    EXPECT_EQ(Strings::labSummary(1234, 30, 7, Language::ja),
              "CLAUDE.md の規約 7 件 ・ 直近 30 日の依頼文 1234 件");
    EXPECT_EQ(Strings::labSummary(0, 0, 0, Language::en),
              "0 rule groups from CLAUDE.md · 0 prompts over 0 days");
}

TEST(Strings, LabEvidenceDetailForEveryKind) {
    struct Case {
        CandidateKind kind;
        const char* en;
        const char* ja;
    };
    const Case cases[] = {
        {CandidateKind::unfollowedConvention, "retyped in 4 separate conversations",
         "別々の会話で 4 回、手で打ち直している"},
        {CandidateKind::convention, "4 rules under this heading", "この見出しの規約 4 項目"},
        {CandidateKind::correction, "corrected in 4 separate conversations",
         "別々の会話で 4 回、訂正している"},
        {CandidateKind::repeated, "typed in 4 separate conversations",
         "別々の会話で 4 回、打っている"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Strings::labEvidenceDetail(c.kind, 4, Language::en), c.en) << rawValue(c.kind);
        EXPECT_EQ(Strings::labEvidenceDetail(c.kind, 4, Language::ja), c.ja) << rawValue(c.kind);
    }
    EXPECT_EQ(Strings::labEvidenceDetail(CandidateKind::repeated, 12, Language::en),
              "typed in 12 separate conversations");
}

TEST(Strings, LabUsageEntryNeverShowsAZeroCount) {
    EXPECT_EQ(Strings::labUsageEntry("Review", 3, Language::en), "Review — used 3×");
    EXPECT_EQ(Strings::labUsageEntry("Review", 3, Language::ja), "Review — 3 回");
    EXPECT_EQ(Strings::labUsageEntry("Review", 10, Language::en), "Review — used 10×");
    EXPECT_EQ(Strings::labUsageEntry("Review", 0, Language::en), "Review — never used");
    EXPECT_EQ(Strings::labUsageEntry("Review", 0, Language::ja), "Review — 未使用");
}
