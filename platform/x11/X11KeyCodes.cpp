#include "platform/x11/X11KeyCodes.h"

#include <array>
#include <utility>

#include <X11/X.h>

namespace tamsel::X11KeyCodes {

namespace {

// (virtual key code, evdev code): the main keys, then what the injector presses.
constexpr std::array<std::pair<std::uint16_t, unsigned>, 25> positions{{
    {36, 28},   // Return
    {76, 96},   // keypad Enter
    {49, 57},   // space
    {29, 11},   // 0
    {18, 2},    // 1
    {19, 3},    // 2
    {20, 4},    // 3
    {21, 5},    // 4
    {23, 6},    // 5
    {22, 7},    // 6
    {26, 8},    // 7
    {28, 9},    // 8
    {25, 10},   // 9
    {27, 12},   // -
    {24, 13},   // =
    {42, 43},   // backslash
    {41, 39},   // ;
    {39, 40},   // '
    {43, 51},   // ,
    {47, 52},   // .
    {44, 53},   // /
    {50, 41},   // grave
    {114, 110}, // Insert (Help on Apple keyboards)
    {9, 47},    // V
    {48, 15},   // Tab
}};

constexpr unsigned evdevOffset = 8;

} // namespace

std::optional<unsigned> xKeyCode(std::uint16_t virtualKeyCode) {
    for (const auto& [virtualCode, evdev] : positions) {
        if (virtualCode == virtualKeyCode) {
            return evdev + evdevOffset;
        }
    }
    return std::nullopt;
}

std::optional<std::uint16_t> virtualKeyCode(unsigned xKeyCode) {
    for (const auto& [virtualCode, evdev] : positions) {
        if (evdev + evdevOffset == xKeyCode) {
            return virtualCode;
        }
    }
    return std::nullopt;
}

std::vector<unsigned> xKeyCodes(MainKey key) {
    std::vector<unsigned> codes;
    if (auto code = xKeyCode(MainKeys::keyCode(key))) {
        codes.push_back(*code);
    }
    if (key == MainKey::enter) {
        codes.push_back(*xKeyCode(MainKeys::keypadEnterKeyCode));
    }
    return codes;
}

std::uint64_t eventFlags(unsigned xState) {
    std::uint64_t flags = 0;
    if (xState & ShiftMask) {
        flags |= Modifiers::shiftFlag;
    }
    if (xState & ControlMask) {
        flags |= Modifiers::controlFlag;
    }
    if (xState & Mod1Mask) {
        flags |= Modifiers::optionFlag;
    }
    if (xState & Mod4Mask) {
        flags |= Modifiers::commandFlag;
    }
    return flags;
}

unsigned xModifierMask(Modifiers modifiers) {
    unsigned mask = 0;
    if (modifiers.contains(Modifiers::shift)) {
        mask |= ShiftMask;
    }
    if (modifiers.contains(Modifiers::control)) {
        mask |= ControlMask;
    }
    if (modifiers.contains(Modifiers::option)) {
        mask |= Mod1Mask;
    }
    if (modifiers.contains(Modifiers::command)) {
        mask |= Mod4Mask;
    }
    return mask;
}

std::vector<unsigned> lockVariants(unsigned numLockMask) {
    std::vector<unsigned> variants{0, LockMask};
    if (numLockMask != 0 && numLockMask != LockMask) {
        variants.push_back(numLockMask);
        variants.push_back(numLockMask | LockMask);
    }
    return variants;
}

unsigned long keysymFor(char32_t character) {
    // Latin-1 keysyms equal their code points; the rest live at 0x1000000 + code point.
    if ((character >= 0x20 && character <= 0x7E) || (character >= 0xA0 && character <= 0xFF)) {
        return character;
    }
    if (character == U'\t') {
        return 0xFF09; // XK_Tab
    }
    return 0x01000000UL + character;
}

} // namespace tamsel::X11KeyCodes
