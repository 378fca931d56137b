#pragma once

// Why a firing injected less than it was asked to.

#include <cstdint>

namespace tamsel {

enum class InjectionProblem : std::uint8_t {
    // A key of the shortcut (or another modifier) was still held when the
    // wait for the user to let go ran out: nothing was typed, nothing touched.
    keysStillHeld,
    // The window the shortcut was pressed in is no longer in front (or no
    // longer a target): nothing was typed, or Return was not sent.
    targetLeft,
    // The application did not read the pasted text in time: Return was not sent.
    pasteNotRead,
    // The clipboard's owner did not say what it held in time: it could not be
    // given back, so the prompt stays on it.
    clipboardUnreadable,
    // The keyboard layout lacks some of the prompt's characters, which
    // typing would silently drop: this firing pasted the prompt instead.
    pastedInsteadOfTyped,
    // As above, with no clipboard to paste through: nothing was typed, so
    // no half prompt was sent either.
    charactersNotTypeable,
};

} // namespace tamsel
