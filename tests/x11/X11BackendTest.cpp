// The X11 backends: the pure mappings, and the selection owner and reader
// against a real X server (Xvfb) and a real other client (xclip).

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "platform/qt/DesktopServices.h"
#include "platform/x11/SyntheticKeyLedger.h"
#include "platform/x11/X11KeyCodes.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11SelectionOwner.h"
#include "platform/x11/X11SelectionReader.h"
#include "shell/PopoverWindow.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

TEST(X11KeyCodes, MainKeysArePhysicalEvdevPositionsBothWays) {
    const struct {
        MainKey key;
        std::vector<unsigned> xCodes;
    } table[] = {
        {MainKey::enter, {36, 104}}, {MainKey::space, {65}},     {MainKey::n0, {19}},
        {MainKey::n1, {10}},         {MainKey::n9, {18}},        {MainKey::minus, {20}},
        {MainKey::equal, {21}},      {MainKey::backslash, {51}}, {MainKey::semicolon, {47}},
        {MainKey::quote, {48}},      {MainKey::comma, {59}},     {MainKey::period, {60}},
        {MainKey::slash, {61}},      {MainKey::grave, {49}},
    };
    for (const auto& row : table) {
        EXPECT_EQ(X11KeyCodes::xKeyCodes(row.key), row.xCodes) << MainKeys::rawValue(row.key);
        for (unsigned code : row.xCodes) {
            auto back = X11KeyCodes::virtualKeyCode(code);
            ASSERT_TRUE(back);
            EXPECT_EQ(MainKeys::fromKeyCode(*back), row.key) << code;
        }
    }
    // Every main key has a position; Insert (the paste key) too.
    for (MainKey key : MainKeys::allCases) {
        EXPECT_FALSE(X11KeyCodes::xKeyCodes(key).empty()) << MainKeys::rawValue(key);
    }
    EXPECT_EQ(X11KeyCodes::xKeyCode(114), 118u);
    EXPECT_FALSE(X11KeyCodes::virtualKeyCode(38)); // the A key names no shortcut
}

TEST(X11KeyCodes, OnlyTheFourModifiersCountAndLocksAreGrabbedToo) {
    constexpr unsigned shift = 1, lock = 2, control = 4, mod1 = 8, mod2 = 16, mod4 = 64;
    EXPECT_EQ(X11KeyCodes::eventFlags(mod4 | lock | mod2), Modifiers::commandFlag);
    EXPECT_EQ(X11KeyCodes::eventFlags(shift | control | mod1 | mod4),
              Modifiers::shiftFlag | Modifiers::controlFlag | Modifiers::optionFlag |
                  Modifiers::commandFlag);
    EXPECT_EQ(X11KeyCodes::eventFlags(lock | mod2 | 128), 0u);
    EXPECT_EQ(X11KeyCodes::xModifierMask(Modifiers::command | Modifiers::shift), mod4 | shift);
    EXPECT_EQ(X11KeyCodes::lockVariants(mod2), (std::vector<unsigned>{0, lock, mod2, mod2 | lock}));
    EXPECT_EQ(X11KeyCodes::lockVariants(0), (std::vector<unsigned>{0, lock}));
}

TEST(X11KeyCodes, KeysymsForLatin1AndEverythingElse) {
    EXPECT_EQ(X11KeyCodes::keysymFor(U'a'), 0x61u);
    EXPECT_EQ(X11KeyCodes::keysymFor(U'é'), 0xE9u);
    EXPECT_EQ(X11KeyCodes::keysymFor(U'日'), 0x10065E5u);
    EXPECT_EQ(X11KeyCodes::keysymFor(U'😀'), 0x101F600u);
    EXPECT_EQ(X11KeyCodes::keysymFor(U'\t'), 0xFF09u);
}

TEST(SyntheticKeyLedger, EachPostedKeyIsClaimedOnceWithinItsLifetime) {
    SyntheticKeyLedger ledger;
    constexpr std::uint64_t shift = Modifiers::shiftFlag, super = Modifiers::commandFlag;
    const auto now = SyntheticKeyLedger::Clock::now();
    ledger.expect(36, 0, now);
    ledger.expect(36, 0, now);
    ledger.expect(118, shift, now);
    EXPECT_FALSE(ledger.claim(10, 0, now)); // another key is the user's
    // So is the same key with other modifiers: the user's Super+Return
    // right after our plain Return is a shortcut, not our key.
    EXPECT_FALSE(ledger.claim(36, super, now));
    EXPECT_FALSE(ledger.claim(118, 0, now));
    EXPECT_TRUE(ledger.claim(118, shift, now));
    EXPECT_TRUE(ledger.claim(36, 0, now));
    EXPECT_TRUE(ledger.claim(36, 0, now + 100ms));
    EXPECT_FALSE(ledger.claim(36, 0, now + 100ms)); // the user's own Return after ours
    ledger.expect(10, 0, now);
    EXPECT_FALSE(ledger.claim(10, 0, now + SyntheticKeyLedger::lifetime)); // never arrived: expired
}

TEST(PropertyItems, SixteenAndThirtyTwoBitItemsPackAtTheirSize) {
    for (int format : {8, 16, 32}) {
        const std::string bytes = format == 8 ? std::string("a\0b", 3)
                                              : std::string("\x01\x02\xff\xfe\x00\x80\x7f\x10", 8);
        unsigned long count = 0;
        const std::vector<unsigned char> items = unpackPropertyItems(bytes, format, count);
        EXPECT_EQ(count, bytes.size() / static_cast<std::size_t>(format / 8)) << format;
        EXPECT_EQ(packPropertyItems(items.data(), count, format), bytes) << format;
    }
}

TEST(Autostart, EntryQuotesTheExecutableAndComesAndGoes) {
    EXPECT_NE(Autostart::entry("/opt/my apps/tamsel").find("Exec=\"/opt/my apps/tamsel\"\n"),
              std::string::npos);
    EXPECT_NE(Autostart::entry("/a$b/100%/c\\d").find(R"(Exec="/a\\$b/100%%/c\\\\d")"),
              std::string::npos);

    TemporaryFolder home;
    const auto file = home / "autostart" / "tamsel.desktop";
    EXPECT_FALSE(Autostart::isEnabled(file));
    EXPECT_EQ(Autostart::setEnabled(true, file, "/usr/bin/tamsel"), std::nullopt);
    EXPECT_TRUE(Autostart::isEnabled(file));
    EXPECT_EQ(readFile(file), Autostart::entry("/usr/bin/tamsel"));
    // The desktop's own switch hides the entry instead of deleting it.
    writeFile(file, readFile(file) + "Hidden=true\n");
    EXPECT_FALSE(Autostart::isEnabled(file));
    EXPECT_EQ(Autostart::setEnabled(false, file, "/usr/bin/tamsel"), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(Autostart::setEnabled(false, file, "/usr/bin/tamsel"), std::nullopt);
    writeFile(home / "blocked", "a file where the folder should be");
    EXPECT_TRUE(Autostart::setEnabled(true, home / "blocked" / "tamsel.desktop", "/x"));
}

TEST(PopoverPlacement, NextToTheIconOrThePointerAndNeverOffScreen) {
    const QRect screen(0, 0, 1280, 800);
    const QSize popup(460, 300);
    const struct {
        const char* what;
        QRect anchor;
        QPoint pointer;
        QPoint expected;
    } table[] = {
        {"icon in a top panel: under it, centred", QRect(600, 0, 24, 24), {}, {381, 24}},
        {"icon in a bottom panel: over it", QRect(600, 776, 24, 24), {}, {381, 476}},
        {"icon in the top-right corner: kept on screen", QRect(1256, 0, 24, 24), {}, {820, 24}},
        {"no geometry: under the pointer", QRect(), {640, 100}, {410, 108}},
        {"no geometry, pointer low: over it", QRect(), {10, 700}, {0, 392}},
    };
    for (const auto& row : table) {
        EXPECT_EQ(PopoverWindow::placement(row.anchor, row.pointer, popup, screen), row.expected)
            << row.what;
    }
    // A screen smaller than the popup: its top-left corner stays visible.
    EXPECT_EQ(PopoverWindow::placement(QRect(), {50, 50}, popup, QRect(0, 0, 300, 200)),
              QPoint(0, 0));
}

// Owner, reader and pasteboard against a real server and xclip.
class SelectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new XServer();
        ::setenv("DISPLAY", server->display().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    std::string xclipOut(const std::string& selection, const std::string& target) {
        ChildProcess reader({"sh", "-c",
                             "xclip -o -selection " + selection + " -t '" + target + "' > " +
                                 (folder / "out").string()},
                            {{"DISPLAY", server->display()}});
        EXPECT_EQ(reader.waitForExit(10s), 0);
        return readFile(folder / "out");
    }

    static inline XServer* server = nullptr;
    TemporaryFolder folder;
    std::string error;
    std::shared_ptr<X11SelectionOwner> owner = X11SelectionOwner::create(error);
    std::shared_ptr<X11SelectionReader> reader = X11SelectionReader::create(error);
};

std::string noise(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

TEST_F(SelectionTest, WhatWeOfferIsReadBackByteForByteLargeContentsIncluded) {
    ASSERT_TRUE(owner && reader) << error;
    const std::vector<SelectionData> offered{
        {"text/html", "text/html", 8, "<b>bold</b>"},
        {"image/png", "image/png", 8, noise(700 * 1024)}, // beyond one request: INCR
        {"application/x-words", "INTEGER", 32, std::string("\x01\0\0\0\xff\xff\xff\xff", 8)},
        {"UTF8_STRING", "UTF8_STRING", 8, "日本語 ✅"},
    };
    ASSERT_TRUE(owner->own("CLIPBOARD", offered));
    EXPECT_TRUE(owner->owns("CLIPBOARD"));
    EXPECT_EQ(reader->read("CLIPBOARD"), offered);
    // Another client's reader, INCR included.
    EXPECT_EQ(xclipOut("clipboard", "image/png"), offered[1].bytes);
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), "日本語 ✅");
}

TEST_F(SelectionTest, AnotherProgramsContentsAreCapturedAndOursLetGoWhenItCopies) {
    ASSERT_TRUE(owner && reader) << error;
    EXPECT_EQ(reader->read("SECONDARY"), std::vector<SelectionData>{}); // no owner: nothing
    writeFile(folder / "in", "copied by hand");
    auto copy = [&] {
        ChildProcess xclip(
            {"sh", "-c",
             "xclip -i -selection clipboard -t text/plain < " + (folder / "in").string()},
            {{"DISPLAY", server->display()}});
        EXPECT_EQ(xclip.waitForExit(10s), 0); // xclip forks a server and returns
    };
    ASSERT_TRUE(owner->own("CLIPBOARD", X11Pasteboard::textTargets("ours")));
    copy();
    EXPECT_TRUE(waitUntil([&] { return !owner->owns("CLIPBOARD"); }));
    auto captured = reader->read("CLIPBOARD");
    ASSERT_TRUE(captured);
    ASSERT_EQ(captured->size(), 1u);
    EXPECT_EQ((*captured)[0].target, "text/plain");
    EXPECT_EQ((*captured)[0].bytes, "copied by hand");
}

} // namespace
