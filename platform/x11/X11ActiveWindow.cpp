#include "platform/x11/X11ActiveWindow.h"

#include <X11/Xatom.h>

#include "platform/x11/X11Display.h"
#include <X11/Xutil.h>

namespace tamsel {

std::unique_ptr<X11ActiveWindow> X11ActiveWindow::create(std::string& error) {
    DisplayOpening opened = openDisplay();
    if (!opened.display) {
        error = opened.error;
        return nullptr;
    }
    return std::make_unique<X11ActiveWindow>(std::move(opened.display));
}

X11ActiveWindow::X11ActiveWindow(DisplayHandle display)
    : display_(std::move(display)),
      activeWindowAtom_(internAtom(display_.get(), "_NET_ACTIVE_WINDOW")),
      pidAtom_(internAtom(display_.get(), "_NET_WM_PID")) {
    Display* d = display_.get();
    XSelectInput(d, DefaultRootWindow(d), PropertyChangeMask);
    current_ = read();
    XFlush(d);
}

int X11ActiveWindow::fileDescriptor() const {
    return ConnectionNumber(display_.get());
}

void X11ActiveWindow::processEvents() {
    Display* d = display_.get();
    bool changed = false;
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == activeWindowAtom_) {
            changed = true;
        }
    }
    if (!changed) {
        return;
    }
    ActiveApplication next = read();
    if (next == current_) {
        return;
    }
    current_ = std::move(next);
    if (onChange_) {
        onChange_(current_);
    }
}

ActiveApplication X11ActiveWindow::read() {
    Display* d = display_.get();
    // The window may vanish between the two reads; the trap swallows that.
    X11ErrorTrap trap(d);
    ActiveApplication application;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    Window active = None;
    if (XGetWindowProperty(d, DefaultRootWindow(d), activeWindowAtom_, 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &remaining, &data) == Success &&
        data != nullptr) {
        if (type == XA_WINDOW && format == 32 && count == 1) {
            active = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    if (active == None) {
        return application;
    }
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(d, active, &hint) != 0) {
        if (hint.res_class != nullptr) {
            application.windowClass = hint.res_class;
        }
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    data = nullptr;
    if (XGetWindowProperty(d, active, pidAtom_, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &remaining, &data) == Success &&
        data != nullptr) {
        if (type == XA_CARDINAL && format == 32 && count == 1) {
            application.processID = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    return application;
}

} // namespace tamsel
