#include "platform/wayland/TypingKeymap.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace tamsel {

namespace {

// XKB numbers keys from 8 above the evdev codes, and its keymaps end at 255.
constexpr unsigned xkbOffset = 8;
constexpr unsigned lastXkbCode = 255;

std::string keysymName(std::uint32_t keysym) {
    char name[64];
    if (xkb_keysym_get_name(keysym, name, sizeof name) <= 0) {
        return "NoSymbol";
    }
    return name;
}

std::string keyName(unsigned evdevCode) { return "<K" + std::to_string(evdevCode + xkbOffset) + ">"; }

} // namespace

TypingKeymap::TypingKeymap() {
    named_ = {
        {XKB_KEY_Return, returnCode},   {XKB_KEY_Tab, tabCode},
        {XKB_KEY_space, spaceCode},     {XKB_KEY_Insert, insertCode},
        {XKB_KEY_v, vCode},             {XKB_KEY_Shift_L, shiftCode},
        {XKB_KEY_Control_L, controlCode}, {XKB_KEY_Alt_L, altCode},
        {XKB_KEY_Super_L, superCode},
    };
    for (unsigned code = 1; code + xkbOffset <= lastXkbCode; ++code) {
        bool isNamed = false;
        for (const auto& [keysym, named] : named_) {
            isNamed = isNamed || named == code;
        }
        if (!isNamed) {
            spareCodes_.push_back(code);
        }
    }
}

std::optional<unsigned> TypingKeymap::codeFor(std::uint32_t keysym) {
    if (auto named = named_.find(keysym); named != named_.end()) {
        return named->second;
    }
    if (auto typed = typed_.find(keysym); typed != typed_.end()) {
        return typed->second;
    }
    if (typed_.size() >= spareCodes_.size()) {
        return std::nullopt;
    }
    const unsigned code = spareCodes_[typed_.size()];
    typed_[keysym] = code;
    changed_ = true;
    return code;
}

void TypingKeymap::reset() {
    if (!typed_.empty()) {
        typed_.clear();
        changed_ = true;
    }
}

std::string TypingKeymap::text() {
    changed_ = false;
    std::string keycodes;
    std::string symbols;
    auto add = [&](unsigned code, const std::string& symbolList) {
        keycodes += "    " + keyName(code) + " = " + std::to_string(code + xkbOffset) + ";\n";
        symbols += "    key " + keyName(code) + " { [ " + symbolList + " ] };\n";
    };
    for (const auto& [keysym, code] : named_) {
        // v types V with Shift, as on every layout, for shortcuts such as Ctrl+Shift+V.
        add(code, keysym == XKB_KEY_v ? "v, V" : keysymName(keysym));
    }
    for (const auto& [keysym, code] : typed_) {
        add(code, keysymName(keysym));
    }
    return "xkb_keymap {\n"
           "  xkb_keycodes \"tamsel\" {\n    minimum = 8;\n    maximum = 255;\n" +
           keycodes +
           "  };\n"
           "  xkb_types \"tamsel\" { include \"complete\" };\n"
           "  xkb_compatibility \"tamsel\" { include \"complete\" };\n"
           "  xkb_symbols \"tamsel\" {\n" +
           symbols + "    modifier_map Shift { " + keyName(shiftCode) + " };\n" +
           "    modifier_map Control { " + keyName(controlCode) + " };\n" +
           "    modifier_map Mod1 { " + keyName(altCode) + " };\n" +
           "    modifier_map Mod4 { " + keyName(superCode) + " };\n" +
           "  };\n"
           "};\n";
}

} // namespace tamsel
