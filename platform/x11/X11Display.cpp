#include "platform/x11/X11Display.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace tamsel {

namespace {
thread_local X11ErrorTrap* currentTrap = nullptr;
// The handler is the process's: Qt installs its own when it connects, so
// each trap puts ours back while any trap lives.
std::mutex handlerMutex;
int liveTraps = 0;
XErrorHandler outsideHandler = nullptr;
std::atomic<DisplayLostHandler> displayLostHandler{nullptr};

int handleLostDisplay(Display*) {
    if (DisplayLostHandler handler = displayLostHandler.load()) {
        handler();
    }
    // The handler ends the process; without one, end it as Xlib would, but
    // without running exit handlers while other threads still use them.
    static constexpr char message[] = "Tamsel: the connection to the X server broke.\n";
    [[maybe_unused]] ssize_t written = ::write(2, message, sizeof message - 1);
    ::_exit(1);
}
} // namespace

// Errors outside a trap are replies to requests whose failure we already
// handle (a window that vanished under a property read): ignore them.
int handleXError(Display* display, XErrorEvent* event) {
    if (currentTrap != nullptr && currentTrap->display_ == display) {
        currentTrap->errors_.push_back(*event);
    }
    return 0;
}

void onDisplayLost(DisplayLostHandler handler) {
    displayLostHandler.store(handler);
    XSetIOErrorHandler(handleLostDisplay);
}

void DisplayCloser::operator()(Display* display) const {
    if (display != nullptr) {
        XCloseDisplay(display);
    }
}

void initializeXlib() {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(handleXError);
        XSetIOErrorHandler(handleLostDisplay);
    });
}

DisplayOpening openDisplay(const std::string& name) {
    initializeXlib();
    const char* requested = name.empty() ? nullptr : name.c_str();
    Display* display = XOpenDisplay(requested);
    if (display != nullptr) {
        return {DisplayHandle(display), {}};
    }
    const char* environment = std::getenv("DISPLAY");
    if (requested == nullptr && (environment == nullptr || *environment == '\0')) {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (wayland != nullptr && *wayland != '\0') {
            return {nullptr, "This is a Wayland session without X11 access (DISPLAY is not "
                             "set). Tamsel needs X11 or XWayland."};
        }
        return {nullptr, "No X display: DISPLAY is not set."};
    }
    return {nullptr, std::string("Cannot open the X display \"") +
                         (requested ? requested : environment) + "\"."};
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), previous_(currentTrap) {
    XSync(display_, False); // errors of earlier requests are not ours
    errors_.clear();
    {
        std::lock_guard guard(handlerMutex);
        if (liveTraps++ == 0) {
            outsideHandler = XSetErrorHandler(handleXError);
        }
    }
    currentTrap = this;
}

X11ErrorTrap::~X11ErrorTrap() {
    XSync(display_, False);
    currentTrap = previous_;
    std::lock_guard guard(handlerMutex);
    if (--liveTraps == 0 && outsideHandler != handleXError) {
        XSetErrorHandler(outsideHandler);
    }
}

const std::vector<XErrorEvent>& X11ErrorTrap::sync() {
    XSync(display_, False);
    return errors_;
}

Atom internAtom(Display* display, const char* name) {
    return XInternAtom(display, name, False);
}

std::string atomName(Display* display, Atom atom) {
    if (atom == None) {
        return {};
    }
    X11ErrorTrap trap(display);
    char* name = XGetAtomName(display, atom);
    if (name == nullptr) {
        return {};
    }
    std::string result(name);
    XFree(name);
    return result;
}

} // namespace tamsel
