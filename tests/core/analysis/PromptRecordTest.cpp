#include "core/analysis/PromptRecord.h"

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
