#pragma once

// Shortcuts as the desktop portals write them: modifiers in capitals joined
// to an XKB key name ("LOGO+SHIFT+Return", "CTRL+ALT+1"). Going the other
// way we also read what desktops put in a trigger's description, which is
// meant for people and differs between them ("Meta+Shift+Return",
// "Super+Return", "<Control><Alt>1", "Ctrl+Num+Enter").

#include <optional>
#include <string>
#include <string_view>

#include "core/config/Hotkey.h"

namespace tamsel::PortalShortcutNotation {

// The preferred trigger we ask the desktop for.
std::string trigger(const Hotkey& hotkey);
// A trigger in the portal's notation or as a desktop shows it; no value when
// it names no key we can fire on, or a modifier we do not know.
std::optional<Hotkey> parse(std::string_view text);

} // namespace tamsel::PortalShortcutNotation
