#include "core/analysis/PromptRecord.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

using namespace tamsel;

TEST(PromptRecord, ProjectNameAndTurn) {
    PromptRecord record;
    for (const auto& [project, name] :
         std::initializer_list<std::pair<const char*, const char*>>{{"/home/u/app", "app"},
                                                                    {"/home/u/app/", "app"},
                                                                    {"app", "app"},
                                                                    {"", ""},
                                                                    {"/", ""},
                                                                    {"//", "/"},
                                                                    {"/a//b//", "b"}}) {
        record.project = project;
        EXPECT_EQ(record.projectName(), name) << project;
    }
    EXPECT_FALSE(record.followsAssistantTurn());
    record.indexInSession = 1;
    EXPECT_TRUE(record.followsAssistantTurn());
}

TEST(PromptRecord, EqualRecordsHashAlikeAndEveryFieldCounts) {
    PromptRecord base;
    base.sessionID = "s";
    base.project = "/p";
    base.text = "t";
    const std::hash<PromptRecord> hash;
    EXPECT_EQ(hash(base), hash(PromptRecord(base)));
    std::vector<PromptRecord> changed(7, base);
    changed[0].sessionID = "s2";
    changed[1].project = "/q";
    changed[2].gitBranch = "";
    changed[3].timestamp = Timestamp(std::chrono::seconds(1));
    changed[4].text = "u";
    changed[5].firedRuleID = "";
    changed[6].indexInSession = 1;
    for (const PromptRecord& record : changed) {
        EXPECT_NE(record, base);
        EXPECT_NE(hash(record), hash(base));
    }
}
