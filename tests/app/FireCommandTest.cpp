#include "app/FireCommand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace tamsel;

namespace {

std::vector<Rule> rules() {
    return {{"a1", "Alpha", true, "ctrl+enter", "", "Alpha text", std::nullopt},
            {"2", "Id two", true, "", "", "Id two text", std::nullopt},
            {"it's mine", "Quoted", true, "", "", "x", std::nullopt}};
}

// What a POSIX shell makes of `command` as its words, one per line.
std::string wordsAsTheShellSeesThem(const std::string& command) {
    const std::string script = "set -- " + command + "; for w; do printf '%s\\n' \"$w\"; done";
    std::string quoted = "'";
    for (char c : script) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    quoted += "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(("sh -c " + quoted).c_str(), "r"), ::pclose);
    std::string out;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        out += buffer;
    }
    return out;
}

} // namespace

TEST(FireCommandTest, RequestsAndRepliesCrossTheSocketIntact) {
    const FireRequest request{TriggerKind::insert, "a prompt id"};
    EXPECT_EQ(FireCommand::requestLine(request), "fire insert a prompt id\n");
    EXPECT_EQ(FireCommand::parseRequest(FireCommand::requestLine(request)), request);
    EXPECT_EQ(FireCommand::parseRequest("fire send 2"), (FireRequest{TriggerKind::send, "2"}));

    // A line break inside a text would end the line early: flattened.
    EXPECT_EQ(FireCommand::requestLine({TriggerKind::send, "a\nb"}), "fire send a b\n");
    const FireReply declined{false, "first line\nsecond"};
    EXPECT_EQ(FireCommand::replyLine(declined), "declined first line second\n");
    EXPECT_EQ(FireCommand::parseReply(FireCommand::replyLine(declined)),
              (FireReply{false, "first line second"}));
    EXPECT_EQ(FireCommand::parseReply("fired\n"), (FireReply{true, {}}));
}

TEST(FireCommandTest, LinesThatAreNotRequestsAreRefused) {
    for (const char* line : {"", "fire", "fire send", "fire send ", "fire twice 1", "show",
                             "FIRE send 1", "fire send 1\r\nfire send 2", "fired"}) {
        EXPECT_FALSE(FireCommand::parseRequest(line)) << line;
    }
    EXPECT_FALSE(FireCommand::parseRequest("fire send " + std::string(5000, 'x')));
    EXPECT_FALSE(FireCommand::parseReply("fire send 1"));
    EXPECT_FALSE(FireCommand::parseReply("declinedno space"));
}

TEST(FireCommandTest, APromptIsFoundByIdFirstThenByPosition) {
    const auto list = rules();
    EXPECT_EQ(FireCommand::resolve(list, "a1"), &list[0]);
    EXPECT_EQ(FireCommand::resolve(list, "1"), &list[0]);
    // "2" is an id here: the id wins over the position it also spells.
    EXPECT_EQ(FireCommand::resolve(list, "2"), &list[1]);
    EXPECT_EQ(FireCommand::resolve(list, "3"), &list[2]);
    for (const char* missing : {"0", "4", "-1", "+1", "1.0", " 1", "01x", "Alpha",
                                "99999999999999999999999"}) {
        EXPECT_EQ(FireCommand::resolve(list, missing), nullptr) << missing;
    }
}

TEST(FireCommandTest, CommandsSurviveTheShellWordForWord) {
    EXPECT_EQ(FireCommand::shellQuoted("tamsel"), "tamsel");
    EXPECT_EQ(FireCommand::shellQuoted("/usr/bin/tamsel"), "/usr/bin/tamsel");
    EXPECT_EQ(FireCommand::shellQuoted(""), "''");
    const Rule rule{"it's a $HOME `id` \"x\"", "n", true, "", "", "t", std::nullopt};
    const std::string command =
        FireCommand::commandFor("/opt/my tools/tamsel", rule, TriggerKind::insert);
    EXPECT_EQ(wordsAsTheShellSeesThem(command),
              "/opt/my tools/tamsel\n--fire\nit's a $HOME `id` \"x\"\n--insert\n");
    EXPECT_EQ(FireCommand::commandFor("tamsel", rules()[0], TriggerKind::send),
              "tamsel --fire a1 --send");
}

TEST(FireCommandTest, EveryDeclineSaysWhyInBothLanguages) {
    for (FireDecline decline :
         {FireDecline::unknownPrompt, FireDecline::paused, FireDecline::promptOff,
          FireDecline::promptEmpty, FireDecline::noKeyboard, FireDecline::notTarget}) {
        const std::string en = FireCommand::declineReason(decline, "Name", Language::en);
        const std::string ja = FireCommand::declineReason(decline, "Name", Language::ja);
        EXPECT_FALSE(en.empty());
        EXPECT_NE(en, ja);
    }
    EXPECT_NE(FireCommand::declineReason(FireDecline::promptOff, "Review", Language::en)
                  .find("\"Review\""),
              std::string::npos);
}
