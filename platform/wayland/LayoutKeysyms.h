#pragma once

// The keysyms each layout (XKB group) of a keymap gives on some key, at any
// shift level, read from the keymap text a compositor sends its clients.

#include <cstdint>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace tamsel {

class LayoutKeysyms {
public:
    // No value when the text is not a keymap XKB can compile.
    static std::optional<LayoutKeysyms> fromKeymapText(std::string_view text);

    std::size_t layoutCount() const { return layouts_.size(); }
    // Whether the layout gives the keysym; without a layout (the active one
    // is not known) every layout must give it, so whichever the user has
    // switched to types it.
    bool has(std::uint32_t keysym, std::optional<std::uint32_t> layout = std::nullopt) const;

private:
    std::vector<std::set<std::uint32_t>> layouts_;
};

} // namespace tamsel
