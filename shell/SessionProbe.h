#pragma once

// Looks at what the session this process started in offers: a Wayland
// compositor and the protocols it announces, an X11 display (XWayland in a
// Wayland session), sway's IPC. Each connection is opened
// and closed again; the backends open their own.

#include "app/SessionPlan.h"

namespace tamsel::SessionProbe {

// Call after Xlib has been made thread-safe.
SessionOffer probe();
// What the session bus adds where the compositor offers too little: the
// desktop portals and KWin. Needs the application object (Qt's D-Bus does);
// asks nothing where sway's IPC or plain X11 already serve.
void probeDesktopBus(SessionOffer& offer);

} // namespace tamsel::SessionProbe
