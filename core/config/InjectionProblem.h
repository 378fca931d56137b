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
};

} // namespace tamsel
