#pragma once

// Hearing about the protocol errors our own requests cause (a grab another
// client holds answers BadAccess, asynchronously), and atoms. Includes Xlib:
// for the backends' sources only, never beside Qt's headers.

#include <string>
#include <vector>

#include <X11/Xlib.h>

#include "platform/x11/X11Handle.h"

namespace tamsel {

// Collects the errors that the server reports for requests made on this
// thread and display while the trap lives; an inner trap takes them while it lives.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits until the server has answered everything sent so far.
    const std::vector<XErrorEvent>& sync();
    const std::vector<XErrorEvent>& errors() const { return errors_; }

private:
    friend int handleXError(Display*, XErrorEvent*);
    Display* display_;
    std::vector<XErrorEvent> errors_;
    X11ErrorTrap* previous_;
};

Atom internAtom(Display* display, const char* name);
std::string atomName(Display* display, Atom atom);

} // namespace tamsel
