#include "platform/x11/X11Accessibility.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "platform/x11/X11Display.h"

namespace tamsel {

X11Accessibility::Probe X11Accessibility::probe() {
    Probe result;
    DisplayOpening opened = openDisplay();
    if (!opened.display) {
        return result;
    }
    result.displayReachable = true;
    int event = 0, error = 0, major = 0, minor = 0;
    result.hasXTest =
        XTestQueryExtension(opened.display.get(), &event, &error, &major, &minor) == True;
    return result;
}

} // namespace tamsel
