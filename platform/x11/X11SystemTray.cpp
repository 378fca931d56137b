#include "platform/x11/X11SystemTray.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xfixes.h>

#include "platform/x11/X11Display.h"

namespace tamsel {

std::unique_ptr<X11SystemTray> X11SystemTray::create(std::string& error) {
    DisplayOpening opening = openDisplay();
    if (!opening.display) {
        error = opening.error;
        return nullptr;
    }
    int eventBase = 0, errorBase = 0;
    if (!XFixesQueryExtension(opening.display.get(), &eventBase, &errorBase)) {
        error = "The X server lacks the XFixes extension: a tray that starts later is not seen.";
        return nullptr;
    }
    return std::unique_ptr<X11SystemTray>(new X11SystemTray(std::move(opening.display), eventBase));
}

X11SystemTray::X11SystemTray(DisplayHandle display, int fixesEventBase)
    : display_(std::move(display)), fixesEventBase_(fixesEventBase) {
    Display* d = display_.get();
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(d));
    selection_ = internAtom(d, name.c_str());
    colorsAtom_ = internAtom(d, "_NET_SYSTEM_TRAY_COLORS");
    XFixesSelectSelectionInput(d, DefaultRootWindow(d), selection_,
                               XFixesSetSelectionOwnerNotifyMask |
                                   XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    current_ = read();
    XFlush(d);
}

X11SystemTray::~X11SystemTray() = default;

int X11SystemTray::fileDescriptor() const {
    return ConnectionNumber(display_.get());
}

std::optional<SystemTrayState::Colour> X11SystemTray::foregroundFrom(const unsigned long* values,
                                                                     unsigned long count) {
    if (values == nullptr || count < 3) {
        return std::nullopt;
    }
    auto eight = [](unsigned long sixteen) {
        return static_cast<std::uint8_t>((sixteen & 0xffff) >> 8);
    };
    return SystemTrayState::Colour{eight(values[0]), eight(values[1]), eight(values[2])};
}

SystemTrayState X11SystemTray::read() {
    Display* d = display_.get();
    SystemTrayState state;
    X11ErrorTrap trap(d);
    const Window owner = XGetSelectionOwner(d, selection_);
    if (owner != owner_ && owner != None) {
        // Its colours may change with the panel's theme.
        XSelectInput(d, owner, PropertyChangeMask);
    }
    owner_ = owner;
    if (owner == None) {
        return state;
    }
    state.present = true;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, owner, colorsAtom_, 0, 12, False, XA_CARDINAL, &type, &format, &count,
                           &remaining, &data) == Success &&
        data != nullptr) {
        if (format == 32) {
            state.foreground = foregroundFrom(reinterpret_cast<const unsigned long*>(data), count);
        }
        XFree(data);
    }
    // The owner may have gone between the two requests: read as absent.
    if (!trap.sync().empty()) {
        owner_ = None;
        return SystemTrayState{};
    }
    return state;
}

void X11SystemTray::processEvents() {
    Display* d = display_.get();
    bool changed = false;
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == fixesEventBase_ + XFixesSelectionNotify ||
            (event.type == PropertyNotify && event.xproperty.atom == colorsAtom_)) {
            changed = true;
        }
    }
    if (!changed) {
        return;
    }
    SystemTrayState next = read();
    if (next == current_) {
        return;
    }
    current_ = next;
    if (onChange_) {
        onChange_(current_);
    }
}

} // namespace tamsel
