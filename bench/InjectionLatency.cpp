// How long after the user lets go of a shortcut the prompt arrives: the real
// tamsel under Xvfb and openbox, a small X client of ours as the target (it
// reads the clipboard at once and notes the monotonic time of the pasted text
// and of Return), the shortcut pressed and released through XTEST. Reports
// the median and the worst of 50 firings, from the trigger key's release.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

constexpr int firings = 50;
constexpr unsigned superKey = 133, returnKey = 36;

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The target's lines of one kind ("paste" or "return"), their times in order.
std::vector<std::int64_t> times(const std::string& log, const std::string& kind) {
    std::vector<std::int64_t> out;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(kind + " ", 0) == 0) {
            out.push_back(std::stoll(line.substr(kind.size() + 1)));
        }
    }
    return out;
}

std::string activeClass(Display* d) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    Window active = None;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_ACTIVE_WINDOW", False), 0,
                           1, False, AnyPropertyType, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr) {
        if (count == 1 && format == 32) {
            active = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    std::string name;
    XClassHint hint{nullptr, nullptr};
    if (active != None && XGetClassHint(d, active, &hint) != 0) {
        name = hint.res_class != nullptr ? hint.res_class : "";
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return name;
}

bool refused = false;

int noteRefusal(Display*, XErrorEvent* error) {
    refused = refused || error->error_code == BadAccess;
    return 0;
}

bool grabbedElsewhere(Display* d, unsigned keyCode, unsigned mask) {
    refused = false;
    const auto previous = XSetErrorHandler(noteRefusal);
    XGrabKey(d, static_cast<int>(keyCode), mask, DefaultRootWindow(d), False, GrabModeAsync,
             GrabModeAsync);
    XSync(d, False);
    if (!refused) {
        XUngrabKey(d, static_cast<int>(keyCode), mask, DefaultRootWindow(d));
        XSync(d, False);
    }
    XSetErrorHandler(previous);
    return refused;
}

void report(const char* what, std::vector<double> milliseconds) {
    std::sort(milliseconds.begin(), milliseconds.end());
    const double median =
        milliseconds.size() % 2 == 1
            ? milliseconds[milliseconds.size() / 2]
            : (milliseconds[milliseconds.size() / 2 - 1] + milliseconds[milliseconds.size() / 2]) /
                  2;
    std::printf("%-24s median %7.1f ms   worst %7.1f ms   (%zu firings)\n", what, median,
                milliseconds.back(), milliseconds.size());
}

} // namespace

int main() {
    XServer server;
    TemporaryFolder home;
    const std::map<std::string, std::string> environment{
        {"DISPLAY", server.display()}, {"HOME", home.path().string()}, {"LC_ALL", "C.UTF-8"},
        {"WAYLAND_DISPLAY", ""},       {"XDG_CONFIG_HOME", ""},
    };
    Display* d = XOpenDisplay(server.display().c_str());
    if (d == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", server.display().c_str());
        return 1;
    }
    ChildProcess windowManager({"openbox"}, environment, "/dev/null");
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    if (!waitUntil([&] {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, remaining = 0;
            unsigned char* data = nullptr;
            XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, AnyPropertyType, &type,
                               &format, &count, &remaining, &data);
            if (data != nullptr) {
                XFree(data);
            }
            return count == 1;
        })) {
        std::fprintf(stderr, "openbox did not start\n");
        return 1;
    }
    std::filesystem::create_directories(home.path() / ".config" / "tamsel");
    writeFile(home.path() / ".config" / "tamsel" / "config.json",
              R"({"enabled": true, "injectionMethod": "paste", "language": "en",
                  "postDelayMS": 80, "preDelayMS": 40, "targetBundleIDs": ["TamselPasteTarget"],
                  "rules": [{"enabled": true, "hotkey": "cmd+enter",
                             "id": "00000000-0000-0000-0000-000000000001",
                             "insertHotkey": "ctrl+opt+1", "name": "P", "separator": " ",
                             "text": "Plan only."}]})");
    ChildProcess tamsel({TAMSEL_EXECUTABLE}, environment, (home.path() / "tamsel.log").string());
    // Started once tamsel holds the shortcut: our own grab of it is refused.
    if (!waitUntil([&] { return grabbedElsewhere(d, returnKey, Mod4Mask); }, 20s)) {
        std::fprintf(stderr, "tamsel never grabbed Super+Return:\n%s\n",
                     readFile(home.path() / "tamsel.log").c_str());
        return 1;
    }
    // Only then the target, as in the end-to-end tests: started beside a
    // starting tamsel, its window was left unmanaged by openbox (every run
    // here, never by hand; the cause is not known) and never came to the front.
    const auto log = home.path() / "target.txt";
    ChildProcess target({TAMSEL_PASTE_TARGET, log.string(), "0"}, environment, "/dev/null");
    if (!waitUntil([&] { return activeClass(d) == "TamselPasteTarget"; }, 20s)) {
        std::fprintf(stderr, "the target window never came to the front\n");
        return 1;
    }

    std::vector<double> pasted, returned;
    for (int i = 0; i < firings; ++i) {
        XTestFakeKeyEvent(d, superKey, True, CurrentTime);
        XTestFakeKeyEvent(d, returnKey, True, CurrentTime);
        XSync(d, False);
        std::this_thread::sleep_for(30ms);
        XTestFakeKeyEvent(d, returnKey, False, CurrentTime);
        XTestFakeKeyEvent(d, superKey, False, CurrentTime);
        XSync(d, False);
        const std::int64_t released = monotonicNanoseconds();
        const bool arrived = waitUntil(
            [&] {
                const std::string lines = readFile(log);
                return times(lines, "paste").size() > static_cast<std::size_t>(i) &&
                       times(lines, "return").size() > static_cast<std::size_t>(i);
            },
            10s);
        if (!arrived) {
            std::fprintf(stderr, "firing %d did not arrive:\n%s\n%s\n", i, readFile(log).c_str(),
                         readFile(home.path() / "tamsel.log").c_str());
            return 1;
        }
        const std::string lines = readFile(log);
        pasted.push_back(static_cast<double>(times(lines, "paste")[i] - released) / 1e6);
        returned.push_back(static_cast<double>(times(lines, "return")[i] - released) / 1e6);
        // The clipboard is given back 40 ms after Return; the next firing
        // comes after that, as a person's would.
        std::this_thread::sleep_for(150ms);
    }
    std::printf("Injection latency, paste, pre-delay 40 ms, post-delay 80 ms, from the "
                "trigger key's release:\n");
    report("pasted text arrives", pasted);
    report("Return arrives", returned);
    XCloseDisplay(d);
    return 0;
}
