#include "core/config/Validator.h"

#include <gtest/gtest.h>

#include "core/config/TriggerIndex.h"
#include "core/strings/Strings.h"

using namespace tamsel;

namespace {

Rule rule(std::string id, std::string name, std::string send, std::string insert,
          std::string text = "do it", bool enabled = true) {
    return Rule{std::move(id),     std::move(name), enabled,     std::move(send),
                std::move(insert), std::move(text), std::nullopt};
}

Hotkey parsed(std::string_view text) {
    return *Hotkey::parse(text);
}

using Issues = std::vector<RuleIssue>;
constexpr TriggerKind send = TriggerKind::send;
constexpr TriggerKind insert = TriggerKind::insert;

} // namespace

TEST(TriggerIndexTest, HigherRuleWinsWhateverTheSlot) {
    std::vector<Rule> rules{rule("A", "A", "cmd+1", ""), rule("B", "B", "", "cmd+1"),
                            rule("C", "C", "cmd+enter", "cmd+enter")};
    TriggerIndex index(rules);
    const auto* match = index.match(parsed("cmd+1"));
    ASSERT_NE(match, nullptr);
    EXPECT_EQ(match->rule.id, "A");
    EXPECT_EQ(match->kind, send);
    match = index.match(parsed("cmd+enter"));
    ASSERT_NE(match, nullptr);
    EXPECT_EQ(match->rule.id, "C");
    EXPECT_EQ(match->kind, send); // both slots equal: only send fires
    EXPECT_EQ(index.table().size(), 2u);
    EXPECT_EQ(index.match(parsed("cmd+2")), nullptr);
}

TEST(TriggerIndexTest, OnlyFireableRulesAndModifiedSlotsOccupyShortcuts) {
    std::vector<Rule> rules{
        rule("off", "", "cmd+1", "", "x", false), rule("blank", "", "cmd+1", "", " \n\u3000"),
        rule("bare", "", "enter", "garbage"), rule("newline", "", "opt+enter", "shift+enter"),
        rule("low", "", "cmd+1", "")};
    TriggerIndex index(rules);
    EXPECT_EQ(index.match(parsed("cmd+1"))->rule.id, "low");
    EXPECT_EQ(index.match(parsed("enter")), nullptr);
    EXPECT_EQ(index.match(parsed("opt+enter"))->rule.id, "newline"); // warned, still fires
    EXPECT_EQ(index.match(parsed("shift+enter"))->kind, insert);
    EXPECT_TRUE(TriggerIndex(std::vector<Rule>{}).isEmpty());
    EXPECT_TRUE(TriggerIndex({rule("x", "", "cmd+1", "", "")}).isEmpty());
}

TEST(ValidatorIssues, DuplicatesNameEachOtherAcrossSlotsAndStates) {
    std::vector<Rule> rules{rule("A", "Alpha", "cmd+1", "", "x", false), rule("B", "", "", "cmd+1"),
                            rule("C", "Gamma", "cmd+2", "cmd+2")};
    auto issues = Validator::issues(rules);
    EXPECT_EQ(issues["A"], (Issues{RuleIssue::duplicate(send, "Untitled")}));
    EXPECT_EQ(issues["B"], (Issues{RuleIssue::duplicate(insert, "Alpha")}));
    EXPECT_EQ(issues["C"], (Issues{RuleIssue::sameTriggers()})); // not its own duplicate
    EXPECT_EQ(issues.size(), 3u);
}

TEST(ValidatorIssues, FindingsComeInTheirFixedOrder) {
    std::vector<Rule> rules{
        rule("empty", "", "", "", "  \n"),
        rule("bare", "", "enter", "shift+enter", ""),
        rule("conflict", "", "opt+enter", "shift+opt+enter"),
        rule("other", "Other", "cmd+3", "shift+enter"),
        rule("fine", "Fine", "cmd+enter", "cmd+4"),
    };
    auto issues = Validator::issues(rules);
    EXPECT_EQ(issues["empty"], (Issues{RuleIssue::noTrigger(), RuleIssue::emptyText()}));
    EXPECT_EQ(issues["bare"],
              (Issues{RuleIssue::emptyText(), RuleIssue::noModifier(send),
                      RuleIssue::newlineConflict(insert), RuleIssue::duplicate(insert, "Other")}));
    EXPECT_EQ(issues["conflict"], (Issues{RuleIssue::newlineConflict(send)}));
    EXPECT_EQ(issues["other"], (Issues{RuleIssue::newlineConflict(insert),
                                       RuleIssue::duplicate(insert, "Untitled")}));
    EXPECT_TRUE(issues["fine"].empty());
}

TEST(ValidatorIssues, BareKeysTakeNoPartInDuplicates) {
    auto issues = Validator::issues({rule("a", "", "enter", ""), rule("b", "", "enter", "")});
    EXPECT_EQ(issues["a"], (Issues{RuleIssue::noModifier(send)}));
    EXPECT_EQ(issues["b"], (Issues{RuleIssue::noModifier(send)}));
}

TEST(ValidatorIssues, MessagesInBothLanguages) {
    EXPECT_EQ(Strings::issueMessage(RuleIssue::duplicate(send, "Plan only"), Language::en),
              "Same shortcut as “Plan only”. The one higher in the list wins.");
    EXPECT_EQ(Strings::issueMessage(RuleIssue::duplicate(send, "Untitled"), Language::ja),
              "「Untitled」とキーが重複しています。一覧の上にあるものが優先されます。");
    EXPECT_EQ(Strings::issueMessage(RuleIssue::noTrigger(), Language::en),
              "No shortcut assigned, so this prompt cannot fire.");
    EXPECT_EQ(Strings::issueMessage(RuleIssue::newlineConflict(insert), Language::ja),
              "Claude Code はこのキーを改行に使います。");
}

// The modifiers digits are suggested with first: Super is the desktops' own
// on Linux.
#ifdef __APPLE__
const std::string firstDigitModifiers = "cmd+";
#else
const std::string firstDigitModifiers = "ctrl+opt+";
#endif

TEST(ValidatorSuggest, FirstFreeCandidatesInOrder) {
    EXPECT_EQ(Validator::suggestHotkeys({}),
              (Validator::SuggestedHotkeys{"cmd+enter", firstDigitModifiers + "1"}));
    EXPECT_EQ(Validator::suggestHotkeys(Rule::defaultRules(Language::en)),
              (Validator::SuggestedHotkeys{"ctrl+cmd+enter", firstDigitModifiers + "4"}));
    // Disabled rules and bare keys still count as taken.
    std::vector<Rule> rules{rule("a", "", "cmd+enter", firstDigitModifiers + "1", "", false),
                            rule("b", "", "enter", firstDigitModifiers + "2")};
    EXPECT_EQ(Validator::suggestHotkeys(rules),
              (Validator::SuggestedHotkeys{"shift+cmd+enter", firstDigitModifiers + "3"}));
}

TEST(ValidatorSuggest, EmptyWhenEveryCandidateIsTaken) {
    std::vector<Rule> rules;
    for (const char* send : {"cmd+enter", "shift+cmd+enter", "ctrl+enter", "ctrl+cmd+enter",
                             "ctrl+shift+enter", "opt+cmd+enter"}) {
        rules.push_back(rule(send, "", send, ""));
    }
    for (const std::string& prefix :
         {firstDigitModifiers, std::string("shift+cmd+"), std::string("ctrl+")}) {
        for (char digit = '0'; digit <= '9'; ++digit) {
            rules.push_back(rule("", "", "", prefix + digit));
        }
    }
    EXPECT_EQ(Validator::suggestHotkeys(rules), (Validator::SuggestedHotkeys{"", ""}));
    rules.pop_back(); // frees ctrl+9
    EXPECT_EQ(Validator::suggestHotkeys(rules).insert, "ctrl+9");
}
