#include "core/config/Config.h"

#include <gtest/gtest.h>

using namespace tamsel;

TEST(RuleDerived, SeparatorPayloadAndFireability) {
    Rule rule{"id", "n", true, "cmd+enter", "cmd+1", "Text", std::nullopt};
    EXPECT_EQ(rule.payload(), "\n\nText");
    rule.separator = "";
    EXPECT_EQ(rule.payload(), "Text");
    rule.separator = " | ";
    EXPECT_EQ(rule.payload(), " | Text");
    EXPECT_TRUE(rule.isFireable());
    rule.text = "\u3000\n\t";
    EXPECT_FALSE(rule.isFireable());
    rule.text = "x";
    rule.enabled = false;
    EXPECT_FALSE(rule.isFireable());
    EXPECT_EQ(rule.hotkeyFor(TriggerKind::send), Hotkey::parse("cmd+enter"));
    EXPECT_EQ(rule.hotkeyFor(TriggerKind::insert), Hotkey::parse("cmd+1"));
    rule.insertHotkey = "nonsense";
    EXPECT_FALSE(rule.appendOnlyHotkey());
}

TEST(ConfigDerived, TargetingIsExactAndEmptyMeansEverywhere) {
    Config config;
    config.targetBundleIDs = {};
    EXPECT_TRUE(config.isTargeted(std::nullopt));
    EXPECT_TRUE(config.isTargeted("anything"));
    config.targetBundleIDs = {"XTerm"};
    EXPECT_FALSE(config.isTargeted(std::nullopt));
    EXPECT_FALSE(config.isTargeted("xterm"));
    EXPECT_TRUE(config.isTargeted("XTerm"));
}

TEST(ConfigDerived, ClampDelays) {
    Config config;
    config.preDelayMS = -1;
    config.postDelayMS = 5000;
    config.clampDelays();
    EXPECT_EQ(config.preDelayMS, 0);
    EXPECT_EQ(config.postDelayMS, 1000);
    config.preDelayMS = 501;
    config.postDelayMS = -7;
    config.clampDelays();
    EXPECT_EQ(config.preDelayMS, 500);
    EXPECT_EQ(config.postDelayMS, 0);
}

TEST(ConfigDefaults, BothLanguagesShareShortcutsAndHaveFreshIds) {
    Config en = Config::makeDefault(Language::en);
    Config ja = Config::makeDefault(Language::ja);
    ASSERT_EQ(en.rules.size(), 3u);
    ASSERT_EQ(ja.rules.size(), 3u);
    const char* sends[] = {"cmd+enter", "cmd+shift+enter", "ctrl+enter"};
#ifdef __APPLE__
    const char* inserts[] = {"cmd+1", "cmd+2", "cmd+3"};
#else
    const char* inserts[] = {"ctrl+opt+1", "ctrl+opt+2", "ctrl+opt+3"};
#endif
    for (std::size_t i = 0; i < 3; ++i) {
        for (const Config* config : {&en, &ja}) {
            const Rule& rule = config->rules[i];
            EXPECT_EQ(rule.hotkey, sends[i]);
            EXPECT_EQ(rule.insertHotkey, inserts[i]);
            EXPECT_TRUE(rule.enabled);
            EXPECT_FALSE(rule.separator);
            EXPECT_EQ(rule.id.size(), 36u);
        }
        EXPECT_NE(en.rules[i].id, ja.rules[i].id);
    }
    EXPECT_EQ(en.targetBundleIDs, Config::defaultTargetBundleIDs());
    EXPECT_EQ(en.language, LanguagePreference::system);
    EXPECT_NE(Rule::defaultRules(Language::en)[0].id, Rule::defaultRules(Language::en)[0].id);
}
