#include "platform/x11/X11FrontWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include "platform/x11/X11Display.h"

namespace tamsel {

std::optional<FrontWindow> readFrontWindow(Display* d) {
    // The window may vanish between the two reads; the trap swallows that.
    X11ErrorTrap trap(d);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), internAtom(d, "_NET_ACTIVE_WINDOW"), 0, 1,
                           False, XA_WINDOW, &type, &format, &count, &remaining,
                           &data) != Success) {
        return std::nullopt;
    }
    FrontWindow front;
    if (data != nullptr) {
        if (type == XA_WINDOW && format == 32 && count == 1) {
            front.id = *reinterpret_cast<unsigned long*>(data);
        }
        XFree(data);
    }
    if (front.id == None) {
        return front;
    }
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(d, front.id, &hint) != 0) {
        if (hint.res_class != nullptr) {
            front.applicationID = hint.res_class;
        }
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return front;
}

std::shared_ptr<X11FrontWindowProbe> X11FrontWindowProbe::create(std::string& error) {
    DisplayOpening opened = openDisplay();
    if (!opened.display) {
        error = opened.error;
        return nullptr;
    }
    return std::make_shared<X11FrontWindowProbe>(std::move(opened.display));
}

X11FrontWindowProbe::X11FrontWindowProbe(DisplayHandle display) : display_(std::move(display)) {}

std::optional<FrontWindow> X11FrontWindowProbe::frontWindow() {
    std::lock_guard guard(mutex_);
    return readFrontWindow(display_.get());
}

} // namespace tamsel
