// The smallest system tray for measuring start-up: owns the tray selection,
// and prints the wall-clock time (in microseconds, as `date +%s%N` / 1000) at which the first icon
// asks to dock, then exits. No desktop needed.

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <time.h>

#include <cstdio>
#include <string>

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const Window tray = XCreateSimpleWindow(display, root, 0, 0, 200, 24, 0, 0, 0);
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    const Atom selection = XInternAtom(display, name.c_str(), False);
    const Atom opcode = XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False);
    XSetSelectionOwner(display, selection, tray, CurrentTime);
    if (XGetSelectionOwner(display, selection) != tray) {
        std::fprintf(stderr, "another tray runs\n");
        return 1;
    }
    // Clients that started first learn of the tray from this message.
    XEvent manager{};
    manager.xclient.type = ClientMessage;
    manager.xclient.window = root;
    manager.xclient.message_type = XInternAtom(display, "MANAGER", False);
    manager.xclient.format = 32;
    manager.xclient.data.l[0] = CurrentTime;
    manager.xclient.data.l[1] = static_cast<long>(selection);
    manager.xclient.data.l[2] = static_cast<long>(tray);
    XSendEvent(display, root, False, StructureNotifyMask, &manager);
    std::printf("ready\n");
    std::fflush(stdout);
    while (true) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && event.xclient.message_type == opcode &&
            event.xclient.data.l[1] == 0) { // SYSTEM_TRAY_REQUEST_DOCK
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            std::printf("docked %lld\n",
                        static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
            std::fflush(stdout);
            break;
        }
    }
    XCloseDisplay(display);
    return 0;
}
