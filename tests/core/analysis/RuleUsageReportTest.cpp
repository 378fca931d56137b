#include "core/analysis/RuleUsageReport.h"

#include <gtest/gtest.h>

using namespace tamsel;

namespace {

Rule rule(std::string id, bool enabled = true) {
    Rule made;
    made.id = id;
    made.name = "name " + id;
    made.enabled = enabled;
    return made;
}

PromptRecord fired(std::optional<std::string> ruleID, Timestamp time) {
    PromptRecord record;
    record.text = "x";
    record.firedRuleID = std::move(ruleID);
    record.timestamp = time;
    return record;
}

Timestamp second(int n) {
    return Timestamp(std::chrono::seconds(n));
}

} // namespace

TEST(RuleUsageReport, CountsAndLatestUseInRuleOrder) {
    const std::vector<Rule> rules{rule("B", false), rule("A"), rule("C")};
    const std::vector<PromptRecord> records{
        fired("A", second(10)),    fired(std::nullopt, second(99)), fired("A", second(30)),
        fired("GONE", second(50)), fired("B", distantPast),         fired("A", second(20))};
    EXPECT_EQ(RuleUsageReport::build(records, rules),
              (std::vector<RuleUsage>{{"B", "name B", 1, distantPast},
                                      {"A", "name A", 3, second(30)},
                                      {"C", "name C", 0, std::nullopt}}));
    EXPECT_TRUE(RuleUsageReport::build(records, rules)[2].isUnused());
    EXPECT_FALSE(RuleUsageReport::build(records, rules)[0].isUnused());
}

TEST(RuleUsageReport, EmptyInputs) {
    EXPECT_TRUE(RuleUsageReport::build({fired("A", second(1))}, {}).empty());
    const auto report = RuleUsageReport::build({fired(std::nullopt, second(1))}, {rule("A")});
    ASSERT_EQ(report.size(), 1u);
    EXPECT_TRUE(report[0].isUnused());
    EXPECT_EQ(report[0].lastUsed, std::nullopt);
}
