// A window that pastes the way a slow application does, for the end-to-end
// tests and the injection benchmark: Shift+Insert asks for the clipboard
// only after DELAY_MS, Return is noted when it arrives. Every event goes to
// OUTPUT_FILE as one line with the monotonic time in nanoseconds:
//   paste <ns> <text with line feeds as \n>
//   return <ns>
// Usage: tamsel_paste_target OUTPUT_FILE DELAY_MS

#include <poll.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::string escaped(const unsigned char* data, unsigned long count) {
    std::string out;
    for (unsigned long i = 0; i < count; ++i) {
        if (data[i] == '\n') {
            out += "\\n";
        } else {
            out += static_cast<char>(data[i]);
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE DELAY_MS\n", argv[0]);
        return 2;
    }
    FILE* output = std::fopen(argv[1], "w");
    if (output == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const std::int64_t delay = std::atoll(argv[2]) * 1000000;
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    const Window window =
        XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 200, 0, 0, 0xFFFFFF);
    XClassHint hint{const_cast<char*>("pastetarget"), const_cast<char*>("TamselPasteTarget")};
    XSetClassHint(d, window, &hint);
    XStoreName(d, window, "paste target");
    XSelectInput(d, window, KeyPressMask);
    XMapWindow(d, window);
    XFlush(d);

    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    const Atom property = XInternAtom(d, "PASTE_TARGET", False);
    std::optional<std::int64_t> askAt;
    Time askTime = CurrentTime;
    while (true) {
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == KeyPress) {
                const KeySym sym = XLookupKeysym(&event.xkey, 0);
                if (sym == XK_Insert && (event.xkey.state & ShiftMask) != 0) {
                    askAt = monotonicNanoseconds() + delay;
                    askTime = event.xkey.time;
                } else if (sym == XK_Return) {
                    std::fprintf(output, "return %lld\n",
                                 static_cast<long long>(monotonicNanoseconds()));
                    std::fflush(output);
                }
            } else if (event.type == SelectionNotify && event.xselection.property != None) {
                Atom type = None;
                int format = 0;
                unsigned long count = 0, remaining = 0;
                unsigned char* data = nullptr;
                if (XGetWindowProperty(d, window, property, 0, 1 << 20, True, AnyPropertyType,
                                       &type, &format, &count, &remaining, &data) == Success &&
                    data != nullptr) {
                    std::fprintf(output, "paste %lld %s\n",
                                 static_cast<long long>(monotonicNanoseconds()),
                                 escaped(data, count).c_str());
                    std::fflush(output);
                    XFree(data);
                }
            }
        }
        int timeout = -1;
        if (askAt) {
            const std::int64_t left = *askAt - monotonicNanoseconds();
            if (left <= 0) {
                XConvertSelection(d, clipboard, utf8, property, window, askTime);
                XFlush(d);
                askAt.reset();
                continue;
            }
            timeout = static_cast<int>(left / 1000000) + 1;
        }
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        if (::poll(&fd, 1, timeout) > 0 && (fd.revents & (POLLERR | POLLHUP)) != 0) {
            return 0;
        }
    }
}
