#include "core/TextToolkit.h"

#include <gtest/gtest.h>

using namespace tamsel;

TEST(TextToolkit, Placeholder) {
    EXPECT_EQ(TextToolkit::graphemeCount("abc"), 3u);
}
