#pragma once

// What the user's keyboard layout can produce. A keyboard that types by
// keysym through the compositor (the desktop portals) can type only what
// the active layout has on some key: the compositor looks each keysym up
// there and drops those it cannot find.

#include <cstdint>
#include <vector>

namespace tamsel {

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The keysyms, among `keysyms`, that no key of the active layout gives.
    // A layout that is not known lacks none.
    virtual std::vector<std::uint32_t> missing(const std::vector<std::uint32_t>& keysyms) = 0;
};

} // namespace tamsel
