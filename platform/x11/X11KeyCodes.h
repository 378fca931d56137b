#pragma once

// Between the program's key numbering (US-ANSI virtual key codes, modifier
// flag bits) and the X server's: keycodes in evdev numbering, state masks.
// Pure functions; no connection needed.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/config/Hotkey.h"

namespace tamsel::X11KeyCodes {

// Physical positions, whatever layout is active: X keycode = evdev code + 8.
std::optional<unsigned> xKeyCode(std::uint16_t virtualKeyCode);
std::optional<std::uint16_t> virtualKeyCode(unsigned xKeyCode);
// Every X keycode that types the main key (Return and the keypad's Enter).
std::vector<unsigned> xKeyCodes(MainKey key);

// Shift, Control, Mod1 (Alt) and Mod4 (Super); locks and other bits count for nothing.
std::uint64_t eventFlags(unsigned xState);
unsigned xModifierMask(Modifiers modifiers);

// The masks a grab must also be made with so that Caps Lock and Num Lock do
// not hide the shortcut: every combination of them, the plain one first.
std::vector<unsigned> lockVariants(unsigned numLockMask);

// The keysym that types one Unicode character on a keycode mapped to it.
unsigned long keysymFor(char32_t character);

} // namespace tamsel::X11KeyCodes
