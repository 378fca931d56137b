#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace tamsel;
using Mode = CommandLine::Mode;

namespace {
CommandLine parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/tamsel");
    return CommandLine::parse(arguments);
}
} // namespace

TEST(CommandLineTest, ModesAndTheirPrecedence) {
    EXPECT_EQ(parse({}).mode, Mode::application);
    EXPECT_EQ(parse({"--verbose"}).mode, Mode::application);
    EXPECT_EQ(parse({"--render-ui"}), (CommandLine{Mode::renderUI, ".", 5}));
    EXPECT_EQ(parse({"--render-ui", "/tmp/out"}).renderDirectory, "/tmp/out");
    EXPECT_EQ(parse({"--prompt-lab-preview", "3", "--render-ui"}).mode, Mode::renderUI);
    EXPECT_EQ(parse({"x", "--prompt-lab-preview"}).mode, Mode::promptLabPreview);
    EXPECT_EQ(parse({"--Render-UI"}).mode, Mode::application); // compared exactly
}

TEST(CommandLineTest, PreviewLimit) {
    auto limit = [](std::vector<std::string> arguments) {
        return parse(std::move(arguments)).previewLimit;
    };
    EXPECT_EQ(limit({"--prompt-lab-preview"}), 5);
    EXPECT_EQ(limit({"--prompt-lab-preview", "12"}), 12);
    EXPECT_EQ(limit({"--prompt-lab-preview", "+2"}), 2);
    EXPECT_EQ(limit({"--prompt-lab-preview", "0"}), 0);
    for (const char* bad : {"", "x", "-", "+", "2x", " 2", "+-2", "1.5", "9223372036854775808",
                            "99999999999999999999"}) {
        EXPECT_EQ(limit({"--prompt-lab-preview", bad}), 5) << bad;
    }
    EXPECT_EQ(limit({"--prompt-lab-preview", "9223372036854775807"}), 9223372036854775807);
    // A negative count means no suggestions at all.
    EXPECT_EQ(limit({"--prompt-lab-preview", "-3"}), 0);
}
