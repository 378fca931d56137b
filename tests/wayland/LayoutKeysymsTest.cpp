#include "platform/wayland/LayoutKeysyms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

using namespace tamsel;

namespace {

// The text a compositor would send for these layouts, compiled from the
// system's XKB data the way compositors do.
std::string keymapText(const char* layouts, const char* variants = "") {
    std::unique_ptr<xkb_context, void (*)(xkb_context*)> context(
        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), xkb_context_unref);
    const xkb_rule_names names{"evdev", "pc105", layouts, variants, ""};
    std::unique_ptr<xkb_keymap, void (*)(xkb_keymap*)> keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS),
        xkb_keymap_unref);
    if (!keymap) {
        return {};
    }
    std::unique_ptr<char, void (*)(void*)> text(
        xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1), std::free);
    // Compositors map the text with its terminating zero.
    return std::string(text.get()) + '\0';
}

} // namespace

TEST(LayoutKeysyms, ASingleLayoutHasWhatItsKeysGiveAtAnyLevel) {
    const std::string us = keymapText("us");
    ASSERT_FALSE(us.empty());
    const auto keysyms = LayoutKeysyms::fromKeymapText(us);
    ASSERT_TRUE(keysyms);
    EXPECT_EQ(keysyms->layoutCount(), 1u);
    for (std::uint32_t keysym : {XKB_KEY_a, XKB_KEY_A, XKB_KEY_exclam, XKB_KEY_space,
                                 XKB_KEY_Return, XKB_KEY_asciitilde}) {
        EXPECT_TRUE(keysyms->has(keysym)) << std::hex << keysym;
    }
    for (std::uint32_t keysym : {std::uint32_t{XKB_KEY_eacute}, std::uint32_t{XKB_KEY_Cyrillic_a}, xkb_utf32_to_keysym(U'日'),
                                 xkb_utf32_to_keysym(U'✅')}) {
        EXPECT_FALSE(keysyms->has(keysym)) << std::hex << keysym;
    }
    const auto french = LayoutKeysyms::fromKeymapText(keymapText("fr"));
    ASSERT_TRUE(french);
    EXPECT_TRUE(french->has(XKB_KEY_eacute));
    EXPECT_TRUE(french->has(XKB_KEY_agrave));
}

TEST(LayoutKeysyms, WithSeveralLayoutsAKeysymMustBeInTheActiveOneOrInAll) {
    const auto both = LayoutKeysyms::fromKeymapText(keymapText("us,ru"));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->layoutCount(), 2u);
    EXPECT_TRUE(both->has(XKB_KEY_a, 0));
    EXPECT_FALSE(both->has(XKB_KEY_a, 1));
    EXPECT_TRUE(both->has(XKB_KEY_Cyrillic_a, 1));
    // Not knowing which layout is active, only what every layout has counts.
    EXPECT_FALSE(both->has(XKB_KEY_a));
    EXPECT_FALSE(both->has(XKB_KEY_Cyrillic_a));
    EXPECT_TRUE(both->has(XKB_KEY_space));
    // Return and the modifiers are written for the first layout only and
    // wrap round to the others, as XKB does.
    EXPECT_TRUE(both->has(XKB_KEY_Return, 1));
    EXPECT_TRUE(both->has(XKB_KEY_Shift_L, 1));
    EXPECT_TRUE(both->has(XKB_KEY_1));
    EXPECT_FALSE(both->has(XKB_KEY_space, 2)); // no such layout
}

TEST(LayoutKeysyms, TextThatIsNoKeymapGivesNoAnswer) {
    EXPECT_FALSE(LayoutKeysyms::fromKeymapText(""));
    EXPECT_FALSE(LayoutKeysyms::fromKeymapText(std::string("xkb_keymap {", 12)));
    EXPECT_FALSE(LayoutKeysyms::fromKeymapText(std::string("\0\0\0", 3)));
}
