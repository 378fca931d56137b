#pragma once

// Looks at what the session this process started in offers: a Wayland
// compositor and the protocols it announces, an X11 display (XWayland in a
// Wayland session), sway's IPC. Each connection is opened
// and closed again; the backends open their own.

#include "app/SessionPlan.h"

namespace tamsel::SessionProbe {

// Call after Xlib has been made thread-safe.
SessionOffer probe();

} // namespace tamsel::SessionProbe
