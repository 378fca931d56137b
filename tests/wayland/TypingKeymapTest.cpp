#include "platform/wayland/TypingKeymap.h"

#include <gtest/gtest.h>

#include <memory>

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

using namespace tamsel;

namespace {

// What a Wayland client does with the keymap it is sent: compile it and ask
// which keysym each key gives, with and without Shift.
struct Compiled {
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context{
        xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref};
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap{nullptr, &xkb_keymap_unref};

    explicit Compiled(const std::string& text) {
        keymap.reset(xkb_keymap_new_from_string(context.get(), text.c_str(),
                                                XKB_KEYMAP_FORMAT_TEXT_V1,
                                                XKB_KEYMAP_COMPILE_NO_FLAGS));
    }
    xkb_keysym_t symbol(unsigned evdevCode, bool shift = false) const {
        std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap.get()),
                                                                     &xkb_state_unref);
        if (shift) {
            xkb_state_update_key(state.get(), TypingKeymap::shiftCode + 8, XKB_KEY_DOWN);
        }
        return xkb_state_key_get_one_sym(state.get(), evdevCode + 8);
    }
};

} // namespace

TEST(TypingKeymap, EveryCharacterGetsAKeyTheClientReadsBack) {
    TypingKeymap keymap;
    const std::uint32_t characters[] = {U'a', U'A', U'日', U'語', 0x2705 /* ✅ */, U'é', U'~'};
    std::vector<std::pair<xkb_keysym_t, unsigned>> typed;
    for (char32_t character : characters) {
        const xkb_keysym_t keysym = xkb_utf32_to_keysym(character);
        auto code = keymap.codeFor(keysym);
        ASSERT_TRUE(code);
        typed.emplace_back(keysym, *code);
        EXPECT_EQ(keymap.codeFor(keysym), code) << "a character keeps its key";
    }
    EXPECT_TRUE(keymap.changed());
    Compiled compiled(keymap.text());
    ASSERT_TRUE(compiled.keymap) << keymap.text();
    EXPECT_FALSE(keymap.changed());
    for (const auto& [keysym, code] : typed) {
        EXPECT_EQ(compiled.symbol(code), keysym) << code;
    }
    // The keys pressed by name mean what they mean everywhere.
    EXPECT_EQ(compiled.symbol(TypingKeymap::returnCode), XKB_KEY_Return);
    EXPECT_EQ(compiled.symbol(TypingKeymap::insertCode), XKB_KEY_Insert);
    EXPECT_EQ(compiled.symbol(TypingKeymap::vCode), XKB_KEY_v);
    EXPECT_EQ(compiled.symbol(TypingKeymap::vCode, true), XKB_KEY_V);
    EXPECT_EQ(compiled.symbol(TypingKeymap::superCode), XKB_KEY_Super_L);
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(compiled.keymap.get(), XKB_MOD_NAME_SHIFT);
    const xkb_mod_index_t control = xkb_keymap_mod_get_index(compiled.keymap.get(), XKB_MOD_NAME_CTRL);
    const xkb_mod_index_t super = xkb_keymap_mod_get_index(compiled.keymap.get(), XKB_MOD_NAME_LOGO);
    EXPECT_EQ(1U << shift, TypingKeymap::shiftMask);
    EXPECT_EQ(1U << control, TypingKeymap::controlMask);
    EXPECT_EQ(1U << super, TypingKeymap::superMask);
}

TEST(TypingKeymap, AFullKeymapStartsAgainAndStillCompiles) {
    TypingKeymap keymap;
    const std::size_t room = keymap.spareKeysLeft();
    ASSERT_GT(room, 200U);
    for (std::size_t index = 0; index < room; ++index) {
        ASSERT_TRUE(keymap.codeFor(xkb_utf32_to_keysym(0x4E00 + static_cast<char32_t>(index))));
    }
    Compiled full(keymap.text());
    EXPECT_TRUE(full.keymap);
    EXPECT_FALSE(keymap.codeFor(xkb_utf32_to_keysym(U'ß')));
    keymap.reset();
    auto code = keymap.codeFor(xkb_utf32_to_keysym(U'ß'));
    ASSERT_TRUE(code);
    Compiled again(keymap.text());
    EXPECT_EQ(again.symbol(*code), xkb_utf32_to_keysym(U'ß'));
}
