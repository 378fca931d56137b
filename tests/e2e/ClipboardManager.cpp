// A clipboard manager as the desktop's would be, for the x11 and end-to-end
// tests: it holds CLIPBOARD_MANAGER, and when asked to SAVE_TARGETS reads
// the clipboard's targets in one MULTIPLE request, takes the clipboard over
// with them and answers. Prints "ready" once it holds CLIPBOARD_MANAGER;
// each save goes to OUTPUT_FILE as "saved" and one "TARGET BYTES" line per
// target (bytes with line feeds as \n).
// Usage: tamsel_clipboard_manager OUTPUT_FILE [save|refuse|silent]

#include <poll.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

struct Saved {
    Atom target;
    Atom type;
    int format;
    std::vector<unsigned char> bytes; // as the server packs them for format 8
};

Display* d = nullptr;
Window window = 0;

Atom atom(const char* name) {
    return XInternAtom(d, name, False);
}

// Waits for the next event of `type` to our window, at most two seconds.
std::optional<XEvent> waitFor(int type) {
    for (int waited = 0; waited < 200;) {
        XEvent event;
        if (XCheckTypedWindowEvent(d, window, type, &event)) {
            return event;
        }
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        if (::poll(&fd, 1, 10) == 0) {
            ++waited;
        }
        XPending(d);
    }
    return std::nullopt;
}

std::vector<Atom> readAtoms(Window owner, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::vector<Atom> atoms;
    if (XGetWindowProperty(d, owner, property, 0, 4096, False, AnyPropertyType, &type, &format,
                           &count, &remaining, &data) == Success &&
        data != nullptr) {
        if (format == 32) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            atoms.assign(items, items + count);
        }
        XFree(data);
    }
    return atoms;
}

// Reads every target of the clipboard in one MULTIPLE conversion.
std::vector<Saved> readClipboard(const std::vector<Atom>& targets, Time time) {
    std::vector<unsigned long> pairs;
    std::vector<Atom> properties;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Atom property = atom(("MANAGER_SAVE_" + std::to_string(i)).c_str());
        pairs.push_back(targets[i]);
        pairs.push_back(property);
        properties.push_back(property);
    }
    const Atom request = atom("MANAGER_MULTIPLE");
    XChangeProperty(d, window, request, atom("ATOM_PAIR"), 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(pairs.data()), static_cast<int>(pairs.size()));
    XConvertSelection(d, atom("CLIPBOARD"), atom("MULTIPLE"), request, window, time);
    XFlush(d);
    std::vector<Saved> saved;
    const auto notify = waitFor(SelectionNotify);
    if (!notify || notify->xselection.property == None) {
        return saved;
    }
    const std::vector<Atom> answered = readAtoms(window, request);
    for (std::size_t i = 0; i + 1 < answered.size(); i += 2) {
        if (answered[i + 1] == None) {
            continue; // the owner could not give this one
        }
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, window, answered[i + 1], 0, 1 << 20, True, AnyPropertyType, &type,
                               &format, &count, &remaining, &data) != Success ||
            data == nullptr) {
            continue;
        }
        if (format == 8) {
            saved.push_back(
                {answered[i], type, format, std::vector<unsigned char>(data, data + count)});
        }
        XFree(data);
    }
    return saved;
}

void log(FILE* output, const std::vector<Saved>& saved) {
    std::fprintf(output, "saved\n");
    for (const Saved& item : saved) {
        char* name = XGetAtomName(d, item.target);
        std::string bytes;
        for (unsigned char c : item.bytes) {
            bytes += c == '\n' ? std::string("\\n") : std::string(1, static_cast<char>(c));
        }
        std::fprintf(output, "%s %s\n", name, bytes.c_str());
        XFree(name);
    }
    std::fflush(output);
}

void reply(const XSelectionRequestEvent& request, Atom property) {
    XSelectionEvent notify{};
    notify.type = SelectionNotify;
    notify.display = d;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = property;
    notify.time = request.time;
    XSendEvent(d, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&notify));
    XFlush(d);
}

// Serves what it saved, as the clipboard's owner now.
void serve(const XSelectionRequestEvent& request, const std::vector<Saved>& saved) {
    const Atom property = request.property == None ? request.target : request.property;
    if (request.target == atom("TARGETS")) {
        std::vector<unsigned long> targets{atom("TARGETS")};
        for (const Saved& item : saved) {
            targets.push_back(item.target);
        }
        XChangeProperty(d, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(targets.data()),
                        static_cast<int>(targets.size()));
        reply(request, property);
        return;
    }
    for (const Saved& item : saved) {
        if (item.target == request.target) {
            XChangeProperty(d, request.requestor, property, item.type, 8, PropModeReplace,
                            item.bytes.data(), static_cast<int>(item.bytes.size()));
            reply(request, property);
            return;
        }
    }
    reply(request, None);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE [save|refuse|silent]\n", argv[0]);
        return 2;
    }
    const std::string mode = argc == 3 ? argv[2] : "save";
    FILE* output = std::fopen(argv[1], "w");
    if (output == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d, window, PropertyChangeMask);
    // A server time for taking selections.
    XChangeProperty(d, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>("manager"), 7);
    const auto stamp = waitFor(PropertyNotify);
    const Time time = stamp ? stamp->xproperty.time : CurrentTime;
    const Atom manager = atom("CLIPBOARD_MANAGER");
    XSetSelectionOwner(d, manager, window, time);
    if (XGetSelectionOwner(d, manager) != window) {
        std::fprintf(stderr, "cannot hold CLIPBOARD_MANAGER\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<Saved> saved;
    while (true) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type != SelectionRequest) {
            continue;
        }
        const XSelectionRequestEvent& request = event.xselectionrequest;
        if (request.selection == atom("CLIPBOARD")) {
            serve(request, saved);
            continue;
        }
        if (request.selection != manager || request.target != atom("SAVE_TARGETS")) {
            reply(request, None);
            continue;
        }
        if (mode == "silent") {
            continue;
        }
        if (mode == "refuse") {
            reply(request, None);
            continue;
        }
        std::vector<Atom> targets = readAtoms(request.requestor, request.property);
        saved = readClipboard(targets, request.time);
        log(output, saved);
        XSetSelectionOwner(d, atom("CLIPBOARD"), window, request.time);
        reply(request, request.property);
    }
}
