#include "platform/wayland/WaylandActiveLayout.h"

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include "platform/wayland/WaylandKeyboard.h"
#include "tests/support/SwaySession.h"

using namespace tamsel;
using namespace tamsel::testing;

TEST(WaylandActiveLayout, FollowsTheKeymapTheCompositorHandsOutAsItChanges) {
    SwaySession sway;
    sway.enter();
    const auto window = sway.startCatWindow("layout");
    std::string error;
    auto layout = WaylandActiveLayout::create(error);
    ASSERT_TRUE(layout) << error;
    const std::uint32_t nichi = xkb_utf32_to_keysym(U'日');

    // This sway has no keyboard at all until a virtual one comes; the
    // layout is then unknown and lacks nothing.
    EXPECT_FALSE(layout->known());
    EXPECT_TRUE(layout->missing({XKB_KEY_a, nichi}).empty());

    // Our virtual keyboard brings a layout holding only what it has typed.
    auto keyboard = WaylandKeyboard::create(error);
    ASSERT_TRUE(keyboard) << error;
    auto type = [&](std::u16string_view text) {
        auto event = keyboard->createKeyEvent(nullptr, 0, true);
        event->setUnicodeString(text);
        keyboard->post(*event);
    };
    type(u"a");
    ASSERT_TRUE(waitUntil([&] { return sway.typedInto("layout") == "a"; }));
    ASSERT_TRUE(layout->known());
    EXPECT_EQ(layout->missing({XKB_KEY_a, nichi, XKB_KEY_Return}),
              std::vector<std::uint32_t>{nichi});

    // Typing 日 puts it in the keyboard's layout; the compositor sends the new
    // keymap to every client, ours included, and it counts at once.
    type(u"日");
    ASSERT_TRUE(waitUntil([&] { return sway.typedInto("layout") == "a日"; }));
    EXPECT_TRUE(layout->missing({XKB_KEY_a, nichi}).empty());
}
