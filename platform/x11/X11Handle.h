#pragma once

// One Xlib connection per thread that talks to the server, behind RAII. Free
// of Xlib's own headers, whose macros (None, Status, Bool) break Qt's: code
// that includes Qt sees only this; X11Display.h is for the backends' sources.

#include <memory>
#include <string>

struct _XDisplay;
union _XEvent;

namespace tamsel {

// Xlib's XID, Atom, Window and Time are all unsigned long.
using XResource = unsigned long;

struct DisplayCloser {
    void operator()(_XDisplay* display) const;
};
// Closing the connection also destroys the windows and grabs made on it.
using DisplayHandle = std::unique_ptr<_XDisplay, DisplayCloser>;

struct DisplayOpening {
    DisplayHandle display;
    // Ready to show when display is empty.
    std::string error;
};

// Must run before any other Xlib call of the process (XInitThreads), and
// replaces Xlib's default error handler, which would end the process.
void initializeXlib();

// Xlib ends the whole process, from whichever thread noticed, when a
// connection breaks (the server went away). `handler` replaces that for every
// connection of the process and must not return: Xlib exits if it does. Qt
// puts its own in place when it connects, so call this after.
using DisplayLostHandler = void (*)();
void onDisplayLost(DisplayLostHandler handler);

// The DISPLAY of the environment when name is empty.
DisplayOpening openDisplay(const std::string& name = {});

} // namespace tamsel
