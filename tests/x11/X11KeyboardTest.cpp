// Typing through XTEST against a real server: which keycodes it borrows, that
// a plain Xlib client reads what was typed, and that a start after a crash
// gives back what the crash left borrowed.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/x11/SyntheticKeyLedger.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/X11KeyCodes.h"
#include "platform/x11/X11Keyboard.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

using namespace tamsel;
using namespace tamsel::testing;

namespace {

class X11KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("DISPLAY", server.display().c_str(), 1);
        observer = openDisplay();
        ASSERT_TRUE(observer.display) << observer.error;
    }

    std::shared_ptr<X11Keyboard> makeKeyboard() {
        std::string error;
        auto keyboard =
            X11Keyboard::create(std::make_shared<SyntheticKeyLedger>(), error, record());
        EXPECT_TRUE(keyboard) << error;
        return keyboard;
    }

    void type(X11Keyboard& keyboard, std::u16string_view text) {
        auto down = keyboard.createKeyEvent(nullptr, 0, true);
        down->setUnicodeString(text);
        keyboard.post(*down);
    }

    // What the server maps the keycode to at its first level now.
    unsigned long keysymOf(unsigned keyCode) {
        Display* d = observer.display.get();
        int perKeycode = 0;
        KeySym* syms = XGetKeyboardMapping(d, static_cast<KeyCode>(keyCode), 1, &perKeycode);
        const unsigned long keysym = syms != nullptr ? syms[0] : NoSymbol;
        XFree(syms);
        return keysym;
    }

    void map(unsigned keyCode, unsigned long keysym) {
        Display* d = observer.display.get();
        KeySym syms[2] = {keysym, keysym};
        XChangeKeyboardMapping(d, static_cast<int>(keyCode), 2, syms, 1);
        XSync(d, False);
    }

    std::vector<std::pair<unsigned, unsigned long>> recorded() {
        std::vector<std::pair<unsigned, unsigned long>> lines;
        std::ifstream in(record());
        unsigned code = 0;
        unsigned long keysym = 0;
        while (in >> code >> keysym) {
            lines.emplace_back(code, keysym);
        }
        return lines;
    }

    std::filesystem::path record() const { return folder / "state" / "remapped-keys"; }

    XServer server;
    TemporaryFolder folder;
    DisplayOpening observer;
};

constexpr unsigned long nichi = 0x10065E5, hon = 0x100672C; // 日, 本

TEST_F(X11KeyboardTest, OnlyCharactersTheLayoutLacksBorrowAKeycodeAndTheRecordFollows) {
    auto keyboard = makeKeyboard();
    ASSERT_TRUE(keyboard);
    type(*keyboard, u"aZ!");
    EXPECT_TRUE(recorded().empty()); // the layout types these itself
    type(*keyboard, u"日本");
    const auto lines = recorded();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].second, nichi);
    EXPECT_EQ(lines[1].second, hon);
    EXPECT_EQ(keysymOf(lines[0].first), nichi);
    EXPECT_EQ(keysymOf(lines[1].first), hon);

    keyboard.reset(); // quitting empties the spares and the record
    EXPECT_EQ(keysymOf(lines[0].first), static_cast<unsigned long>(NoSymbol));
    EXPECT_EQ(keysymOf(lines[1].first), static_cast<unsigned long>(NoSymbol));
    EXPECT_FALSE(std::filesystem::exists(record()));
}

TEST_F(X11KeyboardTest, StartAfterACrashEmptiesOnlyTheKeycodesThatStillHoldOurCharacters) {
    std::vector<std::pair<unsigned, unsigned long>> lines;
    {
        auto keyboard = makeKeyboard();
        ASSERT_TRUE(keyboard);
        type(*keyboard, u"日本");
        lines = recorded();
        ASSERT_EQ(lines.size(), 2u);
    }
    // As a crash leaves them; then the user's own tool maps the second
    // keycode to something else.
    map(lines[0].first, nichi);
    map(lines[1].first, 'q');
    std::filesystem::create_directories(record().parent_path());
    std::ostringstream text;
    for (const auto& [code, keysym] : lines) {
        text << code << ' ' << keysym << '\n';
    }
    writeFile(record(), text.str());

    auto next = makeKeyboard();
    ASSERT_TRUE(next);
    EXPECT_EQ(keysymOf(lines[0].first), static_cast<unsigned long>(NoSymbol));
    EXPECT_EQ(keysymOf(lines[1].first), static_cast<unsigned long>('q'));
    EXPECT_FALSE(std::filesystem::exists(record()));
}

// A client as plain as st: its own connection and thread, a focused window,
// and XLookupString for each key, which refetches the keymap after a change.
class PlainXlibReader {
public:
    explicit PlainXlibReader(std::size_t expected) : expected_(expected) {
        thread_ = std::thread([this] { run(); });
        while (!ready_ && !finished_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~PlainXlibReader() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Once `expected` keys are read or ten seconds have passed.
    std::vector<unsigned long> keysyms() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return keysyms_;
    }

private:
    void run() {
        DisplayOpening opened = openDisplay();
        if (!opened.display) {
            finished_ = true;
            return;
        }
        Display* d = opened.display.get();
        Window window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
        XSelectInput(d, window, KeyPressMask | StructureNotifyMask);
        XMapWindow(d, window);
        XEvent event;
        do {
            XNextEvent(d, &event);
        } while (event.type != MapNotify);
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
        XSync(d, False);
        ready_ = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (keysyms_.size() < expected_ && std::chrono::steady_clock::now() < deadline) {
            if (XPending(d) == 0) {
                pollfd fd{ConnectionNumber(d), POLLIN, 0};
                ::poll(&fd, 1, 50);
                continue;
            }
            XNextEvent(d, &event);
            if (event.type == KeyPress) {
                char text[16];
                KeySym keysym = NoSymbol;
                XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
                keysyms_.push_back(keysym);
            }
        }
        XDestroyWindow(d, window);
        finished_ = true;
    }

    std::size_t expected_;
    std::vector<unsigned long> keysyms_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// 48 different kanji, more than the server's 19 spare keycodes, each followed
// by a letter the layout types: the spares change twice or more on the way.
TEST_F(X11KeyboardTest, PlainXlibClientReadsEveryCharacterOfATextNeedingMoreCharactersThanSpares) {
    std::u16string text;
    std::vector<unsigned long> expected;
    for (char16_t i = 0; i < 48; ++i) {
        const char16_t kanji = static_cast<char16_t>(0x6F22 + i * 3);
        const char16_t letter = static_cast<char16_t>('a' + i % 26);
        text += kanji;
        text += letter;
        expected.push_back(X11KeyCodes::keysymFor(kanji));
        expected.push_back(letter);
    }
    auto keyboard = makeKeyboard();
    ASSERT_TRUE(keyboard);
    for (int firing = 0; firing < 2; ++firing) {
        PlainXlibReader reader(expected.size());
        type(*keyboard, text);
        EXPECT_EQ(reader.keysyms(), expected) << "firing " << firing;
    }
}

} // namespace
