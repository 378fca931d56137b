#include "core/config/ConfigCodec.h"

#include <gtest/gtest.h>

#include "core/config/JsonSyntax.h"

using namespace tamsel;

namespace {

Config decodeOk(std::string_view bytes) {
    auto result = ConfigCodec::decode(bytes);
    EXPECT_TRUE(result.config) << result.error;
    return result.config.value_or(Config{});
}

std::string decodeError(std::string_view bytes) {
    auto result = ConfigCodec::decode(bytes);
    EXPECT_FALSE(result.config);
    return result.error;
}

Rule sampleRule(std::string id) {
    return Rule{std::move(id), "Plan only",   true,        "cmd+enter",
                "cmd+1",       "Plan first.", std::nullopt};
}

} // namespace

TEST(ConfigDecode, EmptyObjectGivesEveryDefault) {
    Config config = decodeOk("{}");
    EXPECT_EQ(config, Config{});
    EXPECT_TRUE(config.enabled);
    EXPECT_EQ(config.language, LanguagePreference::system);
    EXPECT_EQ(config.injectionMethod, InjectionMethod::paste);
    EXPECT_EQ(config.preDelayMS, 40);
    EXPECT_EQ(config.postDelayMS, 80);
    EXPECT_EQ(config.targetBundleIDs, Config::defaultTargetBundleIDs());
    EXPECT_TRUE(config.rules.empty());
}

TEST(ConfigDecode, EveryWrongTypedTopLevelKeyTakesItsDefault) {
    Config config = decodeOk(R"({"enabled": "yes", "language": "fr", "injectionMethod": 1,
        "preDelayMS": "400", "postDelayMS": 40.5, "targetBundleIDs": "com.apple.Terminal",
        "rules": null, "extra": [1, 2]})");
    EXPECT_EQ(config, Config{});
    // Nulls everywhere read as missing.
    EXPECT_EQ(decodeOk(R"({"enabled": null, "language": null, "preDelayMS": null,
        "targetBundleIDs": null})"),
              Config{});
    // A list with one non-text element is unreadable as a whole.
    EXPECT_EQ(decodeOk(R"({"targetBundleIDs": ["a", 1]})").targetBundleIDs,
              Config::defaultTargetBundleIDs());
    EXPECT_EQ(decodeOk(R"({"preDelayMS": true})").preDelayMS, 40);
}

TEST(ConfigDecode, ReadableValuesAreKeptAndDelaysClamped) {
    Config config = decodeOk(R"({"enabled": false, "language": "ja", "injectionMethod": "type",
        "preDelayMS": -5, "postDelayMS": 1500, "targetBundleIDs": []})");
    EXPECT_FALSE(config.enabled);
    EXPECT_EQ(config.language, LanguagePreference::ja);
    EXPECT_EQ(config.injectionMethod, InjectionMethod::type);
    EXPECT_EQ(config.preDelayMS, 0);
    EXPECT_EQ(config.postDelayMS, 1000);
    EXPECT_TRUE(config.targetBundleIDs.empty()); // every app, never refilled
    EXPECT_EQ(decodeOk(R"({"preDelayMS": 600})").preDelayMS, 500);
    EXPECT_EQ(decodeOk(R"({"preDelayMS": 100.0})").preDelayMS, 100);
    EXPECT_EQ(decodeOk(R"({"preDelayMS": 1e2})").preDelayMS, 100);
    EXPECT_EQ(decodeOk(R"({"postDelayMS": -9223372036854775808})").postDelayMS, 0);
    // Beyond the signed range: not readable, so the default.
    EXPECT_EQ(decodeOk(R"({"postDelayMS": 18446744073709551615})").postDelayMS, 80);
    EXPECT_EQ(decodeOk(R"({"postDelayMS": 1e300})").postDelayMS, 80);
}

TEST(ConfigDecode, NumbersBeyondEveryRangeAreJsonAndTakeTheDefault) {
    Config config = decodeOk(R"({"preDelayMS": 100000000000000000000,
        "postDelayMS": -1e400, "extra": [0.5e99999999999999999999], "enabled": false})");
    EXPECT_EQ(config.preDelayMS, 40);
    EXPECT_EQ(config.postDelayMS, 80);
    EXPECT_FALSE(config.enabled); // the rest of the file still counts
    EXPECT_EQ(decodeOk(R"({"preDelayMS": 1e-400, "postDelayMS": 1e999})").preDelayMS, 0);
    config = decodeOk(
        R"({"rules": [{"name": "a", "enabled": 1e999, "text": 12345678901234567890123}]})");
    ASSERT_EQ(config.rules.size(), 1u);
    EXPECT_EQ(config.rules[0].name, "a");
    EXPECT_TRUE(config.rules[0].enabled);
    EXPECT_EQ(decodeError(R"({"rules": [1e999]})"), "Type mismatch at rules.Index 0");
    EXPECT_EQ(decodeError("123456789012345678901234567890"), "Type mismatch at ");
    // A real mistake elsewhere is still reported where it is.
    const std::string error = decodeError("{\"a\": 1e999,\n \"b\": x}");
    EXPECT_NE(error.find("line 2, column 7"), std::string::npos) << error;
}

TEST(ConfigDecode, LastOfDuplicateKeysWinsAndByteOrderMarkIsIgnored) {
    Config config = decodeOk("\xEF\xBB\xBF{\"preDelayMS\": 10, \"preDelayMS\": 20, \"rules\": "
                             "[{\"name\": \"a\", \"name\": \"b\"}]}");
    EXPECT_EQ(config.preDelayMS, 20);
    ASSERT_EQ(config.rules.size(), 1u);
    EXPECT_EQ(config.rules[0].name, "b");
}

TEST(ConfigDecode, RuleKeysAreToleratedOneByOne) {
    Config config = decodeOk(R"({"rules": [
        {"id": "", "name": 3, "enabled": "no", "hotkey": null, "insertHotkey": ["cmd+1"],
         "text": false, "separator": 7},
        {"id": "KEEP-ME", "name": "N", "enabled": false, "hotkey": "cmd+enter",
         "insertHotkey": "cmd+1", "text": "T", "separator": ""},
        {}]})");
    ASSERT_EQ(config.rules.size(), 3u);
    const Rule& tolerant = config.rules[0];
    EXPECT_EQ(tolerant.id.size(), 36u);
    EXPECT_EQ(tolerant.name, "");
    EXPECT_TRUE(tolerant.enabled);
    EXPECT_EQ(tolerant.hotkey, "");
    EXPECT_EQ(tolerant.insertHotkey, "");
    EXPECT_EQ(tolerant.text, "");
    EXPECT_FALSE(tolerant.separator);
    EXPECT_EQ(config.rules[1], (Rule{"KEEP-ME", "N", false, "cmd+enter", "cmd+1", "T", ""}));
    EXPECT_NE(config.rules[2].id, tolerant.id);
}

TEST(ConfigDecode, MissingIdsAreFreshAtEveryLoad) {
    const char* file = R"({"rules": [{"text": "x"}]})";
    EXPECT_NE(decodeOk(file).rules[0].id, decodeOk(file).rules[0].id);
}

TEST(ConfigDecode, FailsWholeForNonJsonNonObjectAndUnreadableRules) {
    EXPECT_EQ(decodeError("[]"), "Type mismatch at ");
    EXPECT_EQ(decodeError("\"text\""), "Type mismatch at ");
    // The prompts must never be replaced silently by an empty list.
    EXPECT_EQ(decodeError(R"({"rules": {"name": "x"}})"), "Type mismatch at rules");
    EXPECT_EQ(decodeError(R"({"rules": "none"})"), "Type mismatch at rules");
    EXPECT_EQ(decodeError(R"({"rules": [{}, 5]})"), "Type mismatch at rules.Index 1");
    EXPECT_EQ(decodeError(R"({"rules": [null]})"), "Type mismatch at rules.Index 0");
}

TEST(ConfigDecode, NotJsonSaysWhereTheMistakeIs) {
    std::string error = decodeError("{\n  \"enabled\": true,\n  \"language\": \"en\"\n");
    EXPECT_TRUE(error.starts_with("The given data was not valid JSON.")) << error;
    EXPECT_NE(error.find("line 4, column 1"), std::string::npos) << error;

    error = decodeError("{\n  \"enabled\": tru\n}");
    EXPECT_NE(error.find("line 2, column 14"), std::string::npos) << error;
    // After a byte-order mark the column is as an editor shows it, the byte the file's own.
    error = decodeError("\xEF\xBB\xBF{\"a\": x}");
    EXPECT_NE(error.find("line 1, column 7 (byte 9)"), std::string::npos) << error;

    // Half a surrogate pair is refused, and located.
    for (const char* half : {"{\"a\": \"\\udc00\"}", "{\"a\": \"\\ud800\"}",
                             "{\"a\": \"\\ud800\\u0041\"}", "{\"a\": \"\\uD83Dx\"}"}) {
        error = decodeError(half);
        EXPECT_NE(error.find("line 1, column 8"), std::string::npos) << half << ": " << error;
    }
    EXPECT_EQ(decodeOk(R"({"rules": [{"name": "\uD83D\ude00"}]})").rules[0].name, "\U0001F600");

    for (const char* bad : {"", "{\"a\": NaN}", "{\"a\": Infinity}", "{\"a\": 1,}", "{'a': 1}",
                            "{\"a\": \"\xC3\x28\"}", "{\"a\": 01}", "{} {}", "{\"a\": \"\t\"}"}) {
        EXPECT_TRUE(decodeError(bad).starts_with("The given data was not valid JSON.")) << bad;
    }
}

TEST(JsonSyntaxLocator, AgreesWithTheParserOnValidity) {
    for (const char* good : {"{}", "[]", " [1, -0.5e+3, \"\\u00e9\\n\", true, null, {\"a\": []}] ",
                             "\"日本\"", "0", "[[[[]]]]"}) {
        EXPECT_FALSE(JsonSyntax::firstError(good)) << good;
    }
    auto error = JsonSyntax::firstError("[1, 2,, 3]");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->offset, 6u);
    EXPECT_EQ(error->column, 7u);
    error = JsonSyntax::firstError("{\"日本\": x}");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->column, 8u); // counted in characters, not bytes
    EXPECT_EQ(error->problem, "Unexpected character 'x'");
    EXPECT_EQ(JsonSyntax::numbers(R"({"a": [-1.5e3, 0], "b\u0031": "2", "c": 30})"),
              (std::vector<JsonSyntax::Span>{{7, 6}, {15, 1}, {40, 2}}));
    EXPECT_TRUE(JsonSyntax::numbers("[1, 2,]").empty());
    // Deep nesting is reported, never a crash.
    EXPECT_TRUE(JsonSyntax::firstError(std::string(100000, '[')));
}

TEST(ConfigEncode, ExactBytes) {
    Config config;
    config.targetBundleIDs = {"com.apple.Terminal", "a/b"};
    config.rules = {sampleRule("ID-1"), sampleRule("ID-2")};
    config.rules[1].separator = " — ";
    config.rules[1].text = "Line \"one\"\n\tback\\slash \x01\x1f\x7f 日本語 ✓";
    config.rules[1].enabled = false;
    const std::string expected = R"({
  "enabled" : true,
  "injectionMethod" : "paste",
  "language" : "system",
  "postDelayMS" : 80,
  "preDelayMS" : 40,
  "rules" : [
    {
      "enabled" : true,
      "hotkey" : "cmd+enter",
      "id" : "ID-1",
      "insertHotkey" : "cmd+1",
      "name" : "Plan only",
      "text" : "Plan first."
    },
    {
      "enabled" : false,
      "hotkey" : "cmd+enter",
      "id" : "ID-2",
      "insertHotkey" : "cmd+1",
      "name" : "Plan only",
      "separator" : " — ",
      "text" : "Line \"one\"\n\tback\\slash \u0001\u001f)"
                                 "\x7f"
                                 R"( 日本語 ✓"
    }
  ],
  "targetBundleIDs" : [
    "com.apple.Terminal",
    "a/b"
  ]
}
)";
    EXPECT_EQ(ConfigCodec::encode(config), expected);
}

TEST(ConfigEncode, EmptyListsAndControlEscapes) {
    Config config;
    config.targetBundleIDs = {};
    config.rules = {sampleRule("X")};
    config.rules[0].text = "\b\f\r\x0b";
    std::string bytes = ConfigCodec::encode(config);
    EXPECT_NE(bytes.find("\"targetBundleIDs\" : []\n}\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(R"("text" : "\b\f\r\u000b")"), std::string::npos) << bytes;
    config.rules.clear();
    EXPECT_NE(ConfigCodec::encode(config).find("\"rules\" : [],\n"), std::string::npos);
}

TEST(ConfigRoundTrip, ReadWriteReadKeepsEveryValueAndId) {
    Config config = Config::makeDefault(Language::ja);
    config.rules.push_back({"ABC", "", false, "", "ctrl+9", "two\nlines", std::string("")});
    config.rules.push_back(
        {"DEF", "名前", true, "enter", "garbage", "\u2028", std::string("\r\n")});
    config.language = LanguagePreference::en;
    config.injectionMethod = InjectionMethod::type;
    config.preDelayMS = 0;
    config.postDelayMS = 1000;
    config.targetBundleIDs = {"x", "", "y"};
    std::string bytes = ConfigCodec::encode(config);
    Config back = decodeOk(bytes);
    EXPECT_EQ(back, config);
    EXPECT_EQ(ConfigCodec::encode(back), bytes);
    EXPECT_EQ(ConfigCodec::encode(config), bytes);
}

TEST(ConfigRoundTrip, ModelServerKeyIsWrittenOnlyWhenSet) {
    Config config = Config::makeDefault(Language::en);
    const std::string without = ConfigCodec::encode(config);
    EXPECT_EQ(without.find("modelServerURL"), std::string::npos);
    EXPECT_EQ(decodeOk(without).modelServerURL, std::nullopt);

    config.modelServerURL = "http://127.0.0.1:11434";
    const std::string with = ConfigCodec::encode(config);
    EXPECT_NE(with.find("  \"language\" : \"system\",\n"
                        "  \"modelServerURL\" : \"http://127.0.0.1:11434\",\n"
                        "  \"postDelayMS\" : 80,"),
              std::string::npos)
        << with;
    EXPECT_EQ(decodeOk(with), config);
    EXPECT_EQ(decodeOk(R"({"modelServerURL": 11434})").modelServerURL, std::nullopt);
}
