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
    EXPECT_EQ(parse({"-platform", "offscreen"}).mode, Mode::application); // Qt's own
    EXPECT_EQ(parse({"--render-ui"}), (CommandLine{Mode::renderUI, ".", 5, "", {}, ""}));
    EXPECT_EQ(parse({"--render-ui", "/tmp/out"}).renderDirectory, "/tmp/out");
    EXPECT_EQ(parse({"--prompt-lab-preview", "3", "--render-ui"}).mode, Mode::renderUI);
    EXPECT_EQ(parse({"x", "--prompt-lab-preview"}).mode, Mode::promptLabPreview);
    EXPECT_EQ(parse({"--draft-check"}).mode, Mode::draftCheck);
    EXPECT_EQ(parse({"--prompt-lab-preview", "--draft-check"}).mode, Mode::draftCheck);
    EXPECT_EQ(parse({"--draft-check", "--render-ui"}).mode, Mode::renderUI);
}

TEST(CommandLineTest, HelpVersionAndUnknownOptions) {
    EXPECT_EQ(parse({"--help"}).mode, Mode::help);
    EXPECT_EQ(parse({"-h"}).mode, Mode::help);
    EXPECT_EQ(parse({"--version"}).mode, Mode::version);
    // Whatever else is asked, a question about the program is answered first.
    EXPECT_EQ(parse({"--render-ui", "out", "--version", "--help"}).mode, Mode::help);
    EXPECT_EQ(parse({"--bogus", "--version"}).mode, Mode::version);

    auto unknown = parse({"--prompt-lab-preview", "3", "--verbose", "--other"});
    EXPECT_EQ(unknown.mode, Mode::unknownOption);
    EXPECT_EQ(unknown.unknownOption, "--verbose");
    EXPECT_EQ(parse({"--Render-UI"}).unknownOption, "--Render-UI"); // compared exactly
    EXPECT_EQ(parse({"--"}).mode, Mode::unknownOption);

    // A mode's value is its own, even when it looks like an option.
    EXPECT_EQ(parse({"--render-ui", "--odd-folder"}).renderDirectory, "--odd-folder");
    EXPECT_EQ(parse({"--prompt-lab-preview", "--x", "--render-ui"}).mode, Mode::renderUI);
    // The program path is never an option, whatever it is called.
    EXPECT_EQ(CommandLine::parse({"--weird-name"}).mode, Mode::application);
    EXPECT_EQ(CommandLine::parse({}).mode, Mode::application);
}

TEST(CommandLineTest, UsageNamesEveryModeAndTheFile) {
    const std::string text = CommandLine::usage("tamsel", "/home/u/.config/tamsel/config.json");
    for (const char* expected :
         {"Usage: tamsel", "--render-ui [DIR]", "--prompt-lab-preview [N]", "--version", "--help",
          "Configuration file: /home/u/.config/tamsel/config.json\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
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

TEST(CommandLineTest, FireTakesAPromptAndAtMostOneKind) {
    EXPECT_EQ(parse({"--fire", "2"}).mode, Mode::fire);
    EXPECT_EQ(parse({"--fire", "2"}).fire, (FireRequest{TriggerKind::send, "2"}));
    EXPECT_EQ(parse({"--insert", "--fire", "abc"}).fire, (FireRequest{TriggerKind::insert, "abc"}));
    EXPECT_EQ(parse({"--fire", "--send"}).fire.prompt, "--send"); // its value, like other modes
    EXPECT_EQ(parse({"--render-ui", "out", "--fire", "1"}).mode, Mode::fire);

    auto problem = [](std::vector<std::string> arguments) {
        const CommandLine line = parse(std::move(arguments));
        return line.mode == Mode::usageError ? line.usageProblem : std::string("(no error)");
    };
    EXPECT_NE(problem({"--fire"}).find("--fire needs"), std::string::npos);
    EXPECT_NE(problem({"--fire", ""}).find("--fire needs"), std::string::npos);
    EXPECT_NE(problem({"--send"}).find("--send goes only with --fire"), std::string::npos);
    EXPECT_NE(problem({"--insert", "--render-ui"}).find("--insert goes only"), std::string::npos);
    EXPECT_NE(problem({"--fire", "1", "--send", "--insert"}).find("together"), std::string::npos);
    // A question about the program is still answered first.
    EXPECT_EQ(parse({"--send", "--help"}).mode, Mode::help);
    EXPECT_EQ(parse({"--fire", "1", "--loud"}).mode, Mode::unknownOption);
}
