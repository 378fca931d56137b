// The real tamsel in a headless sway session without XWayland: sway's
// bindings as the trigger, the virtual keyboard and data control for the
// injection, foot running cat as the target, wtype as the user's keyboard.

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/SwaySession.h"

using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

class SwayEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { sway.enter(); }
    void TearDown() override {
        if (tamsel) {
            tamsel->terminate();
        }
    }

    std::map<std::string, std::string> environment() {
        auto env = sway.environment();
        env["HOME"] = sway.folder().string();
        env["LANGUAGE"] = "en";
        env["LC_ALL"] = "C.UTF-8";
        env["QT_QPA_PLATFORM"] = "offscreen"; // the tray's windows are not under test here
        env["ASAN_OPTIONS"] = "detect_leaks=0";
        env["TSAN_OPTIONS"] = "report_bugs=0 exitcode=0";
        return env;
    }

    void startTamsel(const std::string& method) {
        std::filesystem::create_directories(sway.folder() / ".config/tamsel");
        writeFile(sway.folder() / ".config/tamsel/config.json",
                  R"({"enabled": true, "injectionMethod": ")" + method +
                      R"(", "language": "en", "postDelayMS": 80, "preDelayMS": 40, "rules": [
                      {"enabled": true, "hotkey": "cmd+shift+enter", "insertHotkey": "cmd+shift+1",
                       "id": "00000000-0000-0000-0000-000000000001", "name": "P1", "separator": " ",
                       "text": "Review the plan. 日本語のテスト ✅"}],
                      "targetBundleIDs": ["target"]})");
        tamsel = std::make_unique<ChildProcess>(std::vector<std::string>{TAMSEL_EXECUTABLE},
                                                environment(), log().string());
        ASSERT_TRUE(waitUntil([&] {
            return readFile(log()).find("shortcuts by sway IPC") != std::string::npos;
        }, 20s)) << readFile(log());
        // sway shows no client which chords another client bound; the tap
        // binds them right after it starts, within a few milliseconds.
        std::this_thread::sleep_for(1500ms);
    }

    std::filesystem::path log() { return sway.folder() / "tamsel.log"; }
    void startWindow(const char* app) { windows.push_back(sway.startCatWindow(app)); }
    std::string typedInto(const char* app) { return sway.typedInto(app); }
    void wtype(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"wtype", "-s", "150"});
        ChildProcess(arguments, sway.environment(), "/dev/null").waitForExit(10s);
    }

    SwaySession sway;
    std::unique_ptr<ChildProcess> tamsel;
    std::vector<std::unique_ptr<ChildProcess>> windows;
};

} // namespace

TEST_F(SwayEndToEndTest, AppendAndSendByPasteLeavesTheClipboardAsItWas) {
    startWindow("other");
    startWindow("target");
    // The user's clipboard holds an image, their primary selection a text.
    const std::string image = noise(200 * 1024, 11);
    writeFile(sway.folder() / "image.png", image);
    ChildProcess({"sh", "-c", "wl-copy --type image/png < " + (sway.folder() / "image.png").string() +
                                  " && printf 'the user' | wl-copy --primary"},
                 sway.environment(), "/dev/null")
        .waitForExit(10s);
    startTamsel("paste");

    wtype({"hello"});
    wtype({"-M", "logo", "-M", "shift", "-k", "Return", "-m", "shift", "-m", "logo"});
    ASSERT_TRUE(waitUntil([&] { return typedInto("target").find('\n') != std::string::npos; }, 20s))
        << typedInto("target") << readFile(log());
    EXPECT_EQ(typedInto("target"), "hello Review the plan. 日本語のテスト ✅\n");

    const auto pasted = sway.folder() / "pasted";
    EXPECT_TRUE(waitUntil([&] {
        ChildProcess({"sh", "-c", "wl-paste --type image/png > " + pasted.string()},
                     sway.environment(), "/dev/null")
            .waitForExit(10s);
        return readFile(pasted) == image;
    })) << "the image did not come back";
    ChildProcess({"sh", "-c", "wl-paste --primary --no-newline > " + pasted.string()},
                 sway.environment(), "/dev/null")
        .waitForExit(10s);
    EXPECT_EQ(readFile(pasted), "the user");
}

TEST_F(SwayEndToEndTest, AppendOnlyByTypingAndTheChordElsewhereUntouched) {
    startWindow("other");
    startWindow("target");
    startTamsel("type");
    wtype({"-M", "logo", "-M", "shift", "-k", "1", "-m", "shift", "-m", "logo"});
    wtype({"!"});
    ASSERT_TRUE(waitUntil([&] { return typedInto("target").find('!') != std::string::npos; }, 20s))
        << typedInto("target") << readFile(log());
    // Typed, not sent: the whole text, then what the user typed next; no Return.
    EXPECT_EQ(typedInto("target"), " Review the plan. 日本語のテスト ✅!");

    ChildProcess({"swaymsg", "[app_id=other] focus"}, sway.environment(), "/dev/null")
        .waitForExit(5s);
    ASSERT_TRUE(sway.waitForFocus("other"));
    std::this_thread::sleep_for(300ms); // the tap unbinds on the focus event
    wtype({"c"});
    wtype({"-M", "logo", "-M", "shift", "-k", "Return", "-m", "shift", "-m", "logo"});
    wtype({"d"});
    ASSERT_TRUE(waitUntil([&] { return typedInto("other").find('d') != std::string::npos; }, 20s))
        << typedInto("other");
    EXPECT_EQ(typedInto("other"), "c\x1b[27;10;13~d");
}

// A Wayland session whose compositor lends no shortcuts (sway's IPC out of
// reach, no XWayland): Tamsel starts all the same and says what it cannot do.
TEST_F(SwayEndToEndTest, WithoutAWayToWatchShortcutsItSaysSoAndKeepsRunning) {
    std::filesystem::create_directories(sway.folder() / ".config/tamsel");
    auto env = environment();
    env["SWAYSOCK"] = "";
    tamsel = std::make_unique<ChildProcess>(std::vector<std::string>{TAMSEL_EXECUTABLE}, env,
                                            log().string());
    ASSERT_TRUE(waitUntil([&] {
        return readFile(log()).find("cannot fire here") != std::string::npos;
    }, 20s)) << readFile(log());
    const std::string said = readFile(log());
    EXPECT_NE(said.find("Wayland session without XWayland: shortcuts by none, front application "
                        "by none, typing by Wayland, clipboard by Wayland."),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("list of target applications cannot be applied"), std::string::npos);
    EXPECT_FALSE(tamsel->waitForExit(500ms)) << "it should keep running: " << said;
    tamsel->signal(SIGTERM);
    EXPECT_EQ(tamsel->waitForExit(10s), 0) << readFile(log());
    tamsel.reset();
}

TEST_F(SwayEndToEndTest, FireCommandFromAShellReachesTheFocusedTargetOnly) {
    startWindow("other");
    startWindow("target");
    startTamsel("paste");
    auto fire = [&](const std::map<std::string, std::string>& env) {
        ChildProcess command({TAMSEL_EXECUTABLE, "--fire", "1", "--send"}, env,
                             (sway.folder() / "fire.log").string());
        return command.waitForExit(20s).value_or(-1);
    };
    wtype({"hi"});
    EXPECT_EQ(fire(environment()), 0) << readFile(sway.folder() / "fire.log");
    ASSERT_TRUE(waitUntil([&] { return typedInto("target").find('\n') != std::string::npos; }, 20s))
        << typedInto("target") << readFile(log());
    EXPECT_EQ(typedInto("target"), "hi Review the plan. 日本語のテスト ✅\n");

    ChildProcess({"swaymsg", "[app_id=other] focus"}, sway.environment(), "/dev/null")
        .waitForExit(5s);
    ASSERT_TRUE(sway.waitForFocus("other"));
    EXPECT_EQ(fire(environment()), 3);
    EXPECT_NE(readFile(sway.folder() / "fire.log").find("not one of the target applications"),
              std::string::npos);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(typedInto("other"), "");
}

// Where nothing can watch shortcuts, the desktop's own run --fire, and the
// prompt goes to whichever window has the focus.
TEST_F(SwayEndToEndTest, WithoutShortcutsTheFireCommandStillTypes) {
    startWindow("target");
    std::filesystem::create_directories(sway.folder() / ".config/tamsel");
    writeFile(sway.folder() / ".config/tamsel/config.json",
              R"({"injectionMethod": "type", "language": "en", "rules": [
                  {"enabled": true, "hotkey": "cmd+shift+enter", "insertHotkey": "",
                   "id": "p", "name": "P", "separator": " ", "text": "typed 日本"}],
                  "targetBundleIDs": ["target"]})");
    auto env = environment();
    env["SWAYSOCK"] = "";
    tamsel = std::make_unique<ChildProcess>(std::vector<std::string>{TAMSEL_EXECUTABLE}, env,
                                            log().string());
    ASSERT_TRUE(waitUntil([&] { return readFile(log()).find("cannot fire here") != std::string::npos; },
                          20s))
        << readFile(log());
    std::optional<int> exit;
    ASSERT_TRUE(waitUntil([&] {
        ChildProcess command({TAMSEL_EXECUTABLE, "--fire", "p", "--insert"}, env,
                             (sway.folder() / "fire.log").string());
        exit = command.waitForExit(20s);
        return exit != 1; // 1 while the instance is still starting
    }, 20s));
    EXPECT_EQ(exit, 0) << readFile(sway.folder() / "fire.log") << readFile(log());
    EXPECT_TRUE(waitUntil([&] { return typedInto("target") == " typed 日本"; }, 20s))
        << typedInto("target") << readFile(log());
}
