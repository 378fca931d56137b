// The real tamsel under Xvfb with openbox, an xterm running `cat > FILE`, and
// other real clients, all started here. Each test has its own display and its
// own home folder with a configuration written by the test.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <iostream>
#include <optional>
#include <thread>

#include "platform/x11/X11Display.h"
#include "platform/x11/X11SelectionReader.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

constexpr unsigned superMask = Mod4Mask;
constexpr unsigned returnKey = 36, oneKey = 10, twoKey = 11;

struct Prompt {
    std::string send;
    std::string insert;
    std::string text;
};

std::string configJSON(const std::string& method, const std::vector<Prompt>& prompts,
                       const std::vector<std::string>& targets = {"XTerm"}) {
    std::string rules;
    int n = 0;
    for (const Prompt& prompt : prompts) {
        if (!rules.empty()) {
            rules += ",\n";
        }
        ++n;
        rules += R"({"enabled": true, "hotkey": ")" + prompt.send +
                 R"(", "id": "00000000-0000-0000-0000-00000000000)" + std::to_string(n) +
                 R"(", "insertHotkey": ")" + prompt.insert + R"(", "name": "P)" +
                 std::to_string(n) + R"(", "separator": " ", "text": ")" + prompt.text + "\"}";
    }
    std::string targetList;
    for (const std::string& target : targets) {
        targetList += (targetList.empty() ? "\"" : ", \"") + target + "\"";
    }
    return R"({"enabled": true, "injectionMethod": ")" + method +
           R"(", "language": "en", "postDelayMS": 80, "preDelayMS": 40, "rules": [)" + rules +
           R"(], "targetBundleIDs": [)" + targetList + "]}";
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("DISPLAY", x.display().c_str(), 1);
        display_ = openDisplay();
        ASSERT_TRUE(display_.display) << display_.error;
        windowManager.emplace(std::vector<std::string>{"openbox"}, environment(), "/dev/null");
        const Atom check = internAtom(d(), "_NET_SUPPORTING_WM_CHECK");
        ASSERT_TRUE(waitUntil([&] { return rootWindowProperty(check).has_value(); }))
            << "openbox did not start";
    }

    Display* d() { return display_.display.get(); }
    std::map<std::string, std::string> environment() {
        // In the sanitizer builds tamsel runs on Qt, which is not instrumented:
        // its futex locks are invisible to TSan and it keeps memory until exit.
        // The sanitizers judge our code in the other suites; here, behaviour.
        return {{"DISPLAY", x.display()},
                {"HOME", home.path().string()},
                {"LANGUAGE", "en"},
                {"LC_ALL", "C.UTF-8"},
                {"WAYLAND_DISPLAY", ""},
                {"XDG_CONFIG_HOME", ""},
                {"ASAN_OPTIONS", "detect_leaks=0"},
                {"TSAN_OPTIONS", "report_bugs=0 exitcode=0"}};
    }

    std::optional<Window> rootWindowProperty(Atom property) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        std::optional<Window> result;
        if (XGetWindowProperty(d(), DefaultRootWindow(d()), property, 0, 1, False, AnyPropertyType,
                               &type, &format, &count, &remaining, &data) == Success &&
            data != nullptr) {
            if (count == 1 && format == 32) {
                result = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
            }
            XFree(data);
        }
        return result;
    }

    std::string activeClass() {
        auto active = rootWindowProperty(internAtom(d(), "_NET_ACTIVE_WINDOW"));
        if (!active || *active == None) {
            return {};
        }
        X11ErrorTrap trap(d());
        XClassHint hint{nullptr, nullptr};
        std::string name;
        if (XGetClassHint(d(), *active, &hint) != 0) {
            name = hint.res_class ? hint.res_class : "";
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        return name;
    }

    // Whether some client holds this combination: our own grab is refused.
    bool grabbedElsewhere(unsigned keyCode, unsigned mask) {
        X11ErrorTrap trap(d());
        XGrabKey(d(), static_cast<int>(keyCode), mask, DefaultRootWindow(d()), False, GrabModeAsync,
                 GrabModeAsync);
        const bool refused = !trap.sync().empty();
        if (!refused) {
            XUngrabKey(d(), static_cast<int>(keyCode), mask, DefaultRootWindow(d()));
        }
        return refused;
    }

    void startTamsel(const std::string& config) {
        std::filesystem::create_directories(home / ".config" / "tamsel");
        writeFile(home / ".config" / "tamsel" / "config.json", config);
        tamsel.emplace(std::vector<std::string>{TAMSEL_EXECUTABLE}, environment(),
                       (home / "tamsel.log").string());
    }

    // Once its grabs are in place, tamsel's shortcuts work.
    void waitForShortcuts(unsigned keyCode, unsigned mask) {
        ASSERT_TRUE(waitUntil([&] { return grabbedElsewhere(keyCode, mask); }, 20s))
            << readFile(home / "tamsel.log");
    }

    void startTerminal() { startTerminal({"xterm", "-u8"}, "XTerm"); }

    // The terminal runs `cat` into output(), without the line length limit
    // of the terminal driver's line editing.
    void startTerminal(std::vector<std::string> command, const std::string& windowClass) {
        command.insert(command.end(),
                       {"-e", "sh", "-c", "stty -icanon; exec cat > " + output().string()});
        terminal.emplace(command, environment(), "/dev/null");
        ASSERT_TRUE(waitUntil([&] { return activeClass() == windowClass; }, 20s));
        // Ready once the shell has run.
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(output()); }, 20s));
    }

    void xdotool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "xdotool");
        ChildProcess tool(arguments, environment(), "/dev/null");
        ASSERT_EQ(tool.waitForExit(20s), 0);
    }

    // Puts text on the clipboard as another program, and waits until it is there.
    std::vector<SelectionData> seedClipboard(const std::string& text) {
        writeFile(home / "seed.txt", text);
        ChildProcess xclip(
            {"sh", "-c", "xclip -i -selection clipboard < '" + (home / "seed.txt").string() + "'"},
            environment(), "/dev/null");
        EXPECT_EQ(xclip.waitForExit(20s), 0);
        std::optional<std::vector<SelectionData>> seeded;
        EXPECT_TRUE(waitUntil([&] {
            seeded = clipboardReader()->read("CLIPBOARD");
            return seeded && seeded->size() == 1 && (*seeded)[0].bytes == text;
        }));
        return seeded.value_or(std::vector<SelectionData>{});
    }

    // A paste ends with the clipboard given back: it holds what it held,
    // now offered by tamsel instead of the program that had it.
    void waitForPasteToEnd(const std::vector<SelectionData>& before, Window previousOwner) {
        const Atom clipboard = internAtom(d(), "CLIPBOARD");
        EXPECT_TRUE(waitUntil([&] {
            const Window owner = XGetSelectionOwner(d(), clipboard);
            return owner != None && owner != previousOwner &&
                   clipboardReader()->read("CLIPBOARD") == before;
        })) << readFile(home / "tamsel.log");
    }

    Window clipboardOwner() { return XGetSelectionOwner(d(), internAtom(d(), "CLIPBOARD")); }

    X11SelectionReader* clipboardReader() {
        if (!reader_) {
            std::string error;
            reader_ = X11SelectionReader::create(error);
            EXPECT_TRUE(reader_) << error;
        }
        return reader_.get();
    }

    bool logSays(const std::string& text) {
        return waitUntil(
            [&] { return readFile(home / "tamsel.log").find(text) != std::string::npos; });
    }

    // A plain window of its own class, focused by openbox once mapped.
    Window probeWindow(const char* className) {
        Window window = XCreateSimpleWindow(d(), DefaultRootWindow(d()), 10, 10, 200, 100, 0, 0, 0);
        XClassHint hint{const_cast<char*>("probe"), const_cast<char*>(className)};
        XSetClassHint(d(), window, &hint);
        XSelectInput(d(), window, KeyPressMask);
        XMapWindow(d(), window);
        XSync(d(), False);
        return window;
    }

    std::vector<XKeyEvent> keyPressesOn(Window window) {
        std::vector<XKeyEvent> presses;
        XSync(d(), False);
        XEvent event;
        while (XCheckTypedWindowEvent(d(), window, KeyPress, &event)) {
            presses.push_back(event.xkey);
        }
        return presses;
    }

    std::string clipboardText() {
        auto contents = clipboardReader()->read("CLIPBOARD");
        if (!contents) {
            return "(no answer)";
        }
        for (const SelectionData& data : *contents) {
            if (data.target == "UTF8_STRING") {
                return data.bytes;
            }
        }
        return {};
    }

    // Types `before`, fires the shortcut with the given xdotool key
    // sequence, and expects `expected` in the terminal's file, exactly.
    void fireAndExpect(const std::string& before, std::vector<std::string> sequence,
                       const std::string& expected, const char* how) {
        xdotool({"type", "--delay", "20", before});
        xdotool(std::move(sequence));
        EXPECT_TRUE(waitUntil([&] { return outputIs(expected); })) << how << ":\n"
                                                                   << readFile(output()) << "\n"
                                                                   << readFile(home / "tamsel.log");
    }

    std::filesystem::path output() const { return home / "typed.txt"; }
    bool outputIs(const std::string& expected) { return readFile(output()) == expected; }

    XServer x;
    TemporaryFolder home;
    DisplayOpening display_;
    std::optional<ChildProcess> windowManager;
    std::optional<ChildProcess> tamsel;
    std::optional<ChildProcess> terminal;
    std::unique_ptr<X11SelectionReader> reader_;
};

TEST_F(EndToEndTest, PastedPromptIsAppendedAndSentOrOnlyAppended) {
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(returnKey, superMask);
    startTerminal();

    xdotool({"type", "--delay", "20", "hello"});
    xdotool({"key", "super+Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("hello Plan only.\n"); })) << readFile(output());

    const auto seed = seedClipboard("what the user had copied");
    const Window seeder = clipboardOwner();
    xdotool({"type", "--delay", "20", "abc"});
    xdotool({"key", "super+1"});
    waitForPasteToEnd(seed, seeder);
    // Not sent: the line goes on with what the user types next.
    xdotool({"type", "--delay", "20", " end"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("hello Plan only.\nabc Plan only. end\n"); }))
        << readFile(output());
}

TEST_F(EndToEndTest, TypedPromptInJapaneseArrivesIntact) {
    startTamsel(configJSON("type", {{"cmd+enter", "cmd+1", "日本語で答えて ✅ émoji 😀"}}));
    waitForShortcuts(returnKey, superMask);
    startTerminal();
    xdotool({"type", "--delay", "20", "ok"});
    xdotool({"key", "super+Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("ok 日本語で答えて ✅ émoji 😀\n"); }))
        << readFile(output());
}

// What a desktop's own shortcut settings run where no program may watch keys.
TEST_F(EndToEndTest, FireCommandFromAShellFiresIntoTheTargetInFront) {
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "One."}, {"ctrl+enter", "", "Two."}}));
    waitForShortcuts(returnKey, superMask);
    startTerminal();
    auto fire = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), TAMSEL_EXECUTABLE);
        ChildProcess command(arguments, environment(), (home / "fire.log").string());
        return command.waitForExit(20s).value_or(-1);
    };

    xdotool({"type", "--delay", "20", "hello"});
    EXPECT_EQ(fire({"--fire", "2"}), 0) << readFile(home / "fire.log");
    EXPECT_TRUE(waitUntil([&] { return outputIs("hello Two.\n"); })) << readFile(output());
    // By id, and only appended: the line goes on with what the user types.
    EXPECT_EQ(fire({"--fire", "00000000-0000-0000-0000-000000000001", "--insert"}), 0);
    EXPECT_TRUE(waitUntil([&] { return outputIs("hello Two.\n One."); })) << readFile(output());
    xdotool({"type", "--delay", "20", "!"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("hello Two.\n One.!\n"); })) << readFile(output());

    EXPECT_EQ(fire({"--fire", "9"}), 3);
    EXPECT_NE(readFile(home / "fire.log").find("No prompt has the position or id \"9\""),
              std::string::npos)
        << readFile(home / "fire.log");

    // In front of a window that is no target, nothing is typed anywhere.
    const Window other = probeWindow("Other");
    ASSERT_TRUE(waitUntil([&] { return activeClass() == "Other"; }));
    EXPECT_EQ(fire({"--fire", "1"}), 3);
    EXPECT_NE(readFile(home / "fire.log").find("not one of the target applications"),
              std::string::npos);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(keyPressesOn(other).empty());
    EXPECT_TRUE(outputIs("hello Two.\n One.!\n"));
}

TEST_F(EndToEndTest, ShortcutInAnotherApplicationReachesItUnchanged) {
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(oneKey, superMask);
    // A window of another class, which the configuration does not target.
    Window window = XCreateSimpleWindow(d(), DefaultRootWindow(d()), 10, 10, 200, 100, 0, 0, 0);
    XClassHint hint{const_cast<char*>("probe"), const_cast<char*>("Probe")};
    XSetClassHint(d(), window, &hint);
    XSelectInput(d(), window, KeyPressMask);
    XMapWindow(d(), window);
    XSync(d(), False);
    ASSERT_TRUE(waitUntil([&] { return activeClass() == "Probe"; }, 20s));

    xdotool({"key", "super+1"});
    std::optional<XKeyEvent> received;
    EXPECT_TRUE(waitUntil([&] {
        XEvent event;
        while (XCheckTypedWindowEvent(d(), window, KeyPress, &event)) {
            if (event.xkey.keycode == oneKey) {
                received = event.xkey;
            }
        }
        return received.has_value();
    }));
    ASSERT_TRUE(received);
    EXPECT_EQ(received->state & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask), superMask);
}

TEST_F(EndToEndTest, ClipboardImageAndTextComeBackByteForByte) {
    ChildProcess holder({TAMSEL_CLIPBOARD_HOLDER}, environment(), (home / "holder.log").string());
    ASSERT_TRUE(waitUntil(
        [&] { return readFile(home / "holder.log").find("ready") != std::string::npos; }));
    const auto before = clipboardReader()->read("CLIPBOARD");
    ASSERT_TRUE(before);
    auto offers = [&](const std::string& target) {
        return std::any_of(before->begin(), before->end(),
                           [&](const SelectionData& d) { return d.target == target; });
    };
    ASSERT_TRUE(offers("image/png") && offers("text/html") && offers("UTF8_STRING"));

    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(oneKey, superMask);
    startTerminal();
    const Window holderWindow = clipboardOwner();
    xdotool({"type", "--delay", "20", "x"});
    xdotool({"key", "super+1"});
    waitForPasteToEnd(*before, holderWindow);
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("x Plan only.\n"); })) << readFile(output());
    const auto after = clipboardReader()->read("CLIPBOARD");
    ASSERT_TRUE(after);
    auto targets = [](const std::vector<SelectionData>& data) {
        std::string names;
        for (const SelectionData& d : data) {
            names += d.target + " ";
        }
        return names;
    };
    ASSERT_EQ(after->size(), before->size()) << targets(*before) << "\n" << targets(*after);
    for (std::size_t i = 0; i < before->size(); ++i) {
        EXPECT_EQ((*after)[i].target, (*before)[i].target);
        EXPECT_TRUE((*after)[i].bytes == (*before)[i].bytes) << (*before)[i].target;
    }
}

TEST_F(EndToEndTest, ShortcutAnotherClientHoldsIsReported) {
    // Held before tamsel starts, as a program with a global key of its own would.
    XGrabKey(d(), twoKey, superMask, DefaultRootWindow(d()), False, GrabModeAsync, GrabModeAsync);
    XSync(d(), False);
    startTamsel(
        configJSON("paste", {{"cmd+enter", "cmd+1", "One."}, {"ctrl+enter", "cmd+2", "Two."}}));
    EXPECT_TRUE(waitUntil(
        [&] {
            return readFile(home / "tamsel.log").find("Another app already uses Super+2") !=
                   std::string::npos;
        },
        20s))
        << readFile(home / "tamsel.log");
    // The others are live all the same.
    waitForShortcuts(oneKey, superMask);
}

TEST_F(EndToEndTest, SecondStartHandsOverAndLeavesAndATermSignalEndsTheFirst) {
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(oneKey, superMask);
    ChildProcess second({TAMSEL_EXECUTABLE}, environment(), (home / "second.log").string());
    EXPECT_EQ(second.waitForExit(20s), 0);
    EXPECT_FALSE(tamsel->waitForExit(0ms));
    tamsel->signal(SIGTERM);
    EXPECT_TRUE(tamsel->waitForExit(20s));
    // Its grabs went with it.
    EXPECT_TRUE(waitUntil([&] { return !grabbedElsewhere(oneKey, superMask); }));
}

// How people lift their fingers off Super+Return: the modifier first while
// the trigger key is still down (our grab lasts until it is up), the trigger
// first, or everything held a while (shorter than the auto-repeat delay).
const std::vector<std::pair<const char*, std::vector<std::string>>> humanKeyOrders = {
    {"modifier released 80 ms before the trigger",
     {"keydown", "super", "keydown", "Return", "sleep", "0.08", "keyup", "super", "sleep", "0.15",
      "keyup", "Return"}},
    {"trigger released first",
     {"keydown", "super", "keydown", "Return", "sleep", "0.05", "keyup", "Return", "sleep", "0.08",
      "keyup", "super"}},
    {"all held 400 ms",
     {"keydown", "super", "keydown", "Return", "sleep", "0.4", "keyup", "Return", "keyup",
      "super"}},
};

class HumanKeyOrderTest : public EndToEndTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(HumanKeyOrderTest, EachFiringArrivesExactlyOnce) {
    startTamsel(configJSON(GetParam(), {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(returnKey, superMask);
    startTerminal();
    std::string expected;
    int n = 0;
    for (const auto& [how, sequence] : humanKeyOrders) {
        const std::string typed = "o" + std::to_string(n++);
        expected += typed + " Plan only.\n";
        std::vector<std::string> keys{"sleep", "0.05"};
        keys.insert(keys.end(), sequence.begin(), sequence.end());
        fireAndExpect(typed, keys, expected, how);
    }
    // Nothing late either.
    xdotool({"type", "--delay", "20", "end"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs(expected + "end\n"); })) << readFile(output());
}

INSTANTIATE_TEST_SUITE_P(PasteAndTyping, HumanKeyOrderTest, ::testing::Values("paste", "type"));

// FeatherPad, a Qt editor: Qt follows keymap changes through XKB's own events
// rather than Xlib's, and pastes as GUI applications do.
class EditorKeyOrderTest : public EndToEndTest, public ::testing::WithParamInterface<const char*> {
protected:
    void startEditor() {
        writeFile(document(), "");
        editor.emplace(std::vector<std::string>{"featherpad", document().string()}, environment(),
                       "/dev/null");
        ASSERT_TRUE(waitUntil([&] { return activeClass() == "FeatherPad"; }, 20s));
    }

    // The editor's text is seen once it is saved; saved again until it holds
    // `expected` (a firing may still be on its way).
    bool savedAs(const std::string& expected) {
        return waitUntil(
            [&] {
                xdotool({"key", "ctrl+s"});
                return waitUntil([&] { return readFile(document()) == expected; }, 1s);
            },
            10s);
    }

    std::filesystem::path document() const { return home / "document.txt"; }
    std::optional<ChildProcess> editor;
};

TEST_P(EditorKeyOrderTest, EachFiringArrivesExactlyOnce) {
    const std::string prompt = "Plan only. 日本語 ✅";
    startTamsel(configJSON(GetParam(), {{"cmd+enter", "cmd+1", prompt}}, {"FeatherPad"}));
    waitForShortcuts(returnKey, superMask);
    startEditor();
    std::string expected;
    int n = 0;
    for (const auto& [how, sequence] : humanKeyOrders) {
        const std::string typed = "o" + std::to_string(n++);
        expected += typed + " " + prompt + "\n";
        xdotool({"type", "--delay", "20", typed});
        std::vector<std::string> keys{"sleep", "0.05"};
        keys.insert(keys.end(), sequence.begin(), sequence.end());
        xdotool(std::move(keys));
        // Ctrl+S must not meet the firing's own keys.
        std::this_thread::sleep_for(1s);
        EXPECT_TRUE(savedAs(expected)) << how << ":\n" << readFile(document());
    }
}

INSTANTIATE_TEST_SUITE_P(PasteAndTyping, EditorKeyOrderTest, ::testing::Values("paste", "type"));

TEST_F(EndToEndTest, QterminalTakesThePasteAndTheReturn) {
    const std::string prompt = "Plan only. 日本語 ✅";
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", prompt}}, {"qterminal"}));
    waitForShortcuts(returnKey, superMask);
    startTerminal({"qterminal"}, "qterminal");
    const auto seed = seedClipboard("what the user had copied");
    const Window seeder = clipboardOwner();
    xdotool({"type", "--delay", "20", "a"});
    xdotool({"key", "super+Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("a " + prompt + "\n"); })) << readFile(output());
    waitForPasteToEnd(seed, seeder);
}

// Once the paste has given the clipboard back, Tamsel is the only one that
// holds what the user copied (xclip left when it lost the selection).
class QuitTest : public EndToEndTest, public ::testing::WithParamInterface<int> {};

TEST_P(QuitTest, WhatTheUserHadCopiedGoesToTheClipboardManager) {
    const auto saved = home / "manager.log";
    ChildProcess manager({TAMSEL_CLIPBOARD_MANAGER, saved.string()}, environment(),
                         (home / "manager.out").string());
    ASSERT_TRUE(waitUntil(
        [&] { return readFile(home / "manager.out").find("ready") != std::string::npos; }));
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(oneKey, superMask);
    startTerminal();
    const auto seed = seedClipboard("what the user had copied");
    const Window seeder = clipboardOwner();
    xdotool({"type", "--delay", "20", "x"});
    xdotool({"key", "super+1"});
    waitForPasteToEnd(seed, seeder);
    EXPECT_EQ(readFile(saved), ""); // nothing asked of it while we run

    tamsel->signal(GetParam());
    EXPECT_TRUE(tamsel->waitForExit(20s));
    EXPECT_NE(readFile(saved).find("\nUTF8_STRING what the user had copied\n"), std::string::npos)
        << readFile(saved) << readFile(home / "tamsel.log");
    EXPECT_EQ(readFile(saved).find("Plan only."), std::string::npos);
    EXPECT_EQ(clipboardText(), "what the user had copied");
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("x Plan only.\n"); })) << readFile(output());
}

INSTANTIATE_TEST_SUITE_P(TermAndHangUp, QuitTest, ::testing::Values(SIGTERM, SIGHUP));

TEST_F(EndToEndTest, ModifierHeldPastTheWaitTypesNothingAndLeavesTheClipboardAlone) {
    startTamsel(configJSON("type", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(returnKey, superMask);
    startTerminal();
    const auto seed = seedClipboard("what the user had copied");
    const Window seeder = clipboardOwner();
    xdotool({"type", "--delay", "20", "ab"});
    xdotool({"keydown", "super", "key", "Return", "sleep", "1.5", "keyup", "super"});
    EXPECT_TRUE(logSays("a key of the shortcut was still held")) << readFile(home / "tamsel.log");
    xdotool({"type", "--delay", "20", "c"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("abc\n"); })) << readFile(output());
    EXPECT_EQ(clipboardOwner(), seeder);
    EXPECT_EQ(clipboardReader()->read("CLIPBOARD"), seed);
}

TEST_F(EndToEndTest, FocusMovedBeforeTheInjectionLandsNowhere) {
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(returnKey, superMask);
    startTerminal();
    const auto seed = seedClipboard("what the user had copied");
    const Window seeder = clipboardOwner();
    const Window elsewhere = probeWindow("Probe");
    ASSERT_TRUE(waitUntil([&] { return activeClass() == "Probe"; }, 20s));
    xdotool({"search", "--class", "XTerm", "windowactivate", "--sync"});
    ASSERT_TRUE(waitUntil([&] { return activeClass() == "XTerm"; }));
    xdotool({"type", "--delay", "20", "ab"});
    keyPressesOn(elsewhere);

    // Super stays down while the focus moves, so the injection is still waiting.
    xdotool({"keydown", "super", "key", "Return"});
    xdotool({"windowactivate", "--sync", std::to_string(elsewhere)});
    ASSERT_TRUE(waitUntil([&] { return activeClass() == "Probe"; }));
    xdotool({"keyup", "super"});
    EXPECT_TRUE(logSays("no longer in front")) << readFile(home / "tamsel.log");
    EXPECT_TRUE(keyPressesOn(elsewhere).empty());
    EXPECT_EQ(clipboardOwner(), seeder);
    EXPECT_EQ(clipboardReader()->read("CLIPBOARD"), seed);

    xdotool({"search", "--class", "XTerm", "windowactivate", "--sync"});
    ASSERT_TRUE(waitUntil([&] { return activeClass() == "XTerm"; }));
    xdotool({"type", "--delay", "20", "c"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("abc\n"); })) << readFile(output());
}

TEST_F(EndToEndTest, TargetThatReadsThePasteLateStillGetsThePromptBeforeReturn) {
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}, {"TamselPasteTarget"}));
    waitForShortcuts(returnKey, superMask);
    const auto log = home / "target.txt";
    ChildProcess target({TAMSEL_PASTE_TARGET, log.string(), "300"}, environment(), "/dev/null");
    ASSERT_TRUE(waitUntil([&] { return activeClass() == "TamselPasteTarget"; }, 20s));
    xdotool({"key", "super+Return"});
    EXPECT_TRUE(waitUntil([&] { return readFile(log).find("return") != std::string::npos; }))
        << readFile(log) << readFile(home / "tamsel.log");
    const std::string lines = readFile(log);
    const auto paste = lines.find("paste ");
    ASSERT_NE(paste, std::string::npos) << lines;
    EXPECT_LT(paste, lines.find("return")) << lines;
    EXPECT_NE(lines.find(" Plan only.\n", paste), std::string::npos) << lines;
}

TEST_F(EndToEndTest, ClipboardHistoryNeitherKeepsThePromptNorChangesWhatIsPasted) {
    ChildProcess copyq({"copyq"}, environment(), (home / "copyq.log").string());
    ASSERT_TRUE(waitUntil(
        [&] {
            ChildProcess probe({"copyq", "size"}, environment(), "/dev/null");
            return probe.waitForExit(5s) == 0;
        },
        20s))
        << readFile(home / "copyq.log");
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}));
    waitForShortcuts(returnKey, superMask);
    startTerminal();
    seedClipboard("what the user had copied");
    auto history = [&] {
        ChildProcess read(
            {"sh", "-c", "copyq read 0 1 2 3 4 > '" + (home / "history").string() + "'"},
            environment(), "/dev/null");
        read.waitForExit(10s);
        return readFile(home / "history");
    };
    ASSERT_TRUE(
        waitUntil([&] { return history().find("what the user had copied") != std::string::npos; }));

    for (int i = 0; i < 3; ++i) {
        xdotool({"type", "--delay", "20", "x"});
        xdotool({"key", "super+Return"});
        const std::string expected = [&] {
            std::string all;
            for (int j = 0; j <= i; ++j) {
                all += "x Plan only.\n";
            }
            return all;
        }();
        EXPECT_TRUE(waitUntil([&] { return outputIs(expected); })) << readFile(output());
        EXPECT_TRUE(waitUntil([&] { return clipboardText() == "what the user had copied"; }))
            << clipboardText();
    }
    EXPECT_EQ(history().find("Plan only."), std::string::npos) << history();
}

TEST_F(EndToEndTest, RxvtUnicodeWithDebiansExtensionsTakesThePasteAndTheReturn) {
    startTamsel(configJSON("paste", {{"cmd+enter", "cmd+1", "Plan only."}}, {"URxvt"}));
    waitForShortcuts(returnKey, superMask);
    startTerminal({"urxvt"}, "URxvt");
    xdotool({"type", "--delay", "20", "a"});
    xdotool({"key", "super+Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("a Plan only.\n"); })) << readFile(output());
    xdotool({"type", "--delay", "20", "b"});
    xdotool({"key", "super+1"});
    // The terminal passes each byte on as it comes: the paste is visible.
    EXPECT_TRUE(waitUntil([&] { return outputIs("a Plan only.\nb Plan only."); }))
        << readFile(output());
    xdotool({"type", "--delay", "20", "c"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("a Plan only.\nb Plan only.c\n"); }))
        << readFile(output());
}

TEST_F(EndToEndTest, RxvtUnicodeGetsMultiLinePromptsWithoutAQuestion) {
    startTamsel(R"({"enabled": true, "injectionMethod": "paste", "language": "en",
        "postDelayMS": 80, "preDelayMS": 40, "targetBundleIDs": ["URxvt"], "rules": [
        {"enabled": true, "hotkey": "cmd+enter", "id": "00000000-0000-0000-0000-000000000001",
         "insertHotkey": "cmd+1", "name": "P", "text": "Line one.\nLine two."}]})");
    waitForShortcuts(returnKey, superMask);
    startTerminal({"urxvt"}, "URxvt");
    xdotool({"type", "--delay", "20", "a"});
    xdotool({"key", "super+Return"});
    EXPECT_TRUE(waitUntil([&] { return outputIs("a  Line one. Line two.\n"); }))
        << readFile(output());
}

// About 2,000 characters, half of them Japanese, emoji and accents.
std::string longMixedText() {
    const char* words[] = {"日本語の", "テスト", "✅",    "done",   "漢字と", "かな",  "カタカナ",
                           "hello",    "world,", "改善", "検証。", "😀",      "émoji", "Ünïcödé",
                           "設計",     "実装",   "(ok)", "ÄÖÜß",   "——",     "x+y=z"};
    std::string text;
    std::size_t characters = 0;
    for (std::size_t i = 0; characters < 2000; ++i) {
        const std::string word = words[(i * 7) % std::size(words)];
        text += word + " ";
        for (unsigned char c : word) {
            characters += (c & 0xC0) != 0x80 ? 1 : 0;
        }
        ++characters;
    }
    return text + "end";
}

// Firings of a long mixed text, each to arrive whole; how long each took
// from the shortcut to the last character goes to standard output.
class LongTypingTest : public EndToEndTest {
protected:
    void typeRepeatedly(int runs, std::vector<std::string> command,
                        const std::string& windowClass) {
        const std::string text = longMixedText();
        startTamsel(configJSON("type", {{"cmd+enter", "cmd+1", text}}, {windowClass}));
        waitForShortcuts(returnKey, superMask);
        startTerminal(std::move(command), windowClass);
        std::string expected;
        for (int run = 0; run < runs; ++run) {
            const std::string typed = "r" + std::to_string(run);
            expected += typed + " " + text + "\n";
            xdotool({"type", "--delay", "20", typed});
            const auto start = std::chrono::steady_clock::now();
            xdotool({"key", "super+Return"});
            ASSERT_TRUE(waitUntil([&] { return outputIs(expected); }, 60s))
                << "run " << run << ":\n"
                << readFile(output()).substr(expected.size() - text.size() - typed.size() - 2);
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            std::cout << windowClass << " run " << run << ": " << took.count() << " ms\n";
        }
    }
};

TEST_F(LongTypingTest, XtermTypesALongMixedTextWithoutLosingACharacter) {
    typeRepeatedly(3, {"xterm", "-u8"}, "XTerm");
}

// st reads keys with plain Xlib, as slowly as its drawing lets it.
TEST_F(LongTypingTest, StTypesALongMixedTextWithoutLosingACharacter) {
    typeRepeatedly(10, {"st"}, "st-256color");
}

// Qt reads the keymap anew (through XKB) at each change it is told of.
TEST_F(LongTypingTest, QterminalTypesALongMixedTextWithoutLosingACharacter) {
    typeRepeatedly(3, {"qterminal"}, "qterminal");
}
} // namespace
