#pragma once

// The real tamsel on an Xvfb display of its own, with a home folder and a
// private runtime folder made for it, and what the shell tests ask of it.

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <map>
#include <optional>
#include <string>

#include "platform/x11/X11Display.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

namespace tamsel::testing {

using namespace std::chrono_literals;

constexpr unsigned superMask = Mod4Mask;
constexpr unsigned returnKey = 36, oneKey = 10;

// One prompt on Super+Return / Super+1, typed or pasted into xterm.
inline std::string oneRuleConfig(const std::string& method, const std::string& text) {
    return R"({"enabled": true, "injectionMethod": ")" + method +
           R"(", "language": "en", "postDelayMS": 80, "preDelayMS": 40, "rules": [)"
           R"({"enabled": true, "hotkey": "cmd+enter", "id": "00000000-0000-0000-0000-000000000001", )"
           R"("insertHotkey": "cmd+1", "name": "P1", "separator": " ", "text": ")" +
           text + R"("}], "targetBundleIDs": ["XTerm"]})";
}

class TamselUnderX {
public:
    TamselUnderX() {
        runtime_ = home_ / "runtime";
        std::filesystem::create_directory(runtime_);
        std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
        display_ = openDisplay(x_.display());
        if (!display_.display) {
            throw std::runtime_error(display_.error);
        }
    }

    Display* d() { return display_.display.get(); }
    const XServer& server() const { return x_; }

    // Our own connection first: Xlib would end this test program with it.
    void killServer(int signalNumber) {
        display_.display.reset();
        x_.kill(signalNumber);
    }
    const TemporaryFolder& home() const { return home_; }
    const std::filesystem::path& runtime() const { return runtime_; }
    std::filesystem::path configFile() const {
        return home_ / ".config" / "tamsel" / "config.json";
    }

    std::map<std::string, std::string> environment() const {
        return {{"DISPLAY", x_.display()},
                {"HOME", home_.path().string()},
                {"XDG_RUNTIME_DIR", runtime_.string()},
                {"LANGUAGE", "en"},
                {"LC_ALL", "C.UTF-8"},
                {"WAYLAND_DISPLAY", ""},
                {"XDG_CONFIG_HOME", ""},
                {"ASAN_OPTIONS", "detect_leaks=0"},
                {"TSAN_OPTIONS", "report_bugs=0 exitcode=0"}};
    }

    void writeConfig(const std::string& json) {
        std::filesystem::create_directories(configFile().parent_path());
        writeFile(configFile(), json);
    }

    // Started with its output in a log of its own, `name`.log in the home folder.
    std::unique_ptr<ChildProcess> start(const std::string& name = "tamsel") {
        return std::make_unique<ChildProcess>(std::vector<std::string>{TAMSEL_EXECUTABLE},
                                              environment(), log(name).string());
    }
    std::filesystem::path log(const std::string& name = "tamsel") const {
        return home_ / (name + ".log");
    }

    // Whether some client holds this combination: our own grab is refused.
    bool grabbedElsewhere(unsigned keyCode, unsigned mask) {
        X11ErrorTrap trap(d());
        XGrabKey(d(), static_cast<int>(keyCode), mask, DefaultRootWindow(d()), False, GrabModeAsync,
                 GrabModeAsync);
        const bool refused = !trap.sync().empty();
        if (!refused) {
            XUngrabKey(d(), static_cast<int>(keyCode), mask, DefaultRootWindow(d()));
        }
        return refused;
    }

    // Once its grabs are in place the application has launched.
    bool waitForShortcuts() {
        return waitUntil([&] { return grabbedElsewhere(oneKey, superMask); }, 20s);
    }

    void pressKey(unsigned keyCode, unsigned modifierKeyCode) {
        XTestFakeKeyEvent(d(), modifierKeyCode, True, CurrentTime);
        XTestFakeKeyEvent(d(), keyCode, True, CurrentTime);
        XTestFakeKeyEvent(d(), keyCode, False, CurrentTime);
        XTestFakeKeyEvent(d(), modifierKeyCode, False, CurrentTime);
        XSync(d(), False);
    }

    void click(int x, int y) {
        XTestFakeMotionEvent(d(), -1, x, y, CurrentTime);
        XTestFakeButtonEvent(d(), 1, True, CurrentTime);
        XTestFakeButtonEvent(d(), 1, False, CurrentTime);
        XSync(d(), False);
    }

    // The viewable top-level window of process `pid`, by _NET_WM_PID.
    std::optional<XWindowAttributes> windowOf(pid_t pid) {
        const Atom wmPid = internAtom(d(), "_NET_WM_PID");
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        std::optional<XWindowAttributes> found;
        X11ErrorTrap trap(d());
        if (XQueryTree(d(), DefaultRootWindow(d()), &root, &parent, &children, &count) == 0) {
            return found;
        }
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(d(), children[i], &attributes) == 0 ||
                attributes.map_state != IsViewable) {
                continue;
            }
            Atom type = None;
            int format = 0;
            unsigned long items = 0, remaining = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d(), children[i], wmPid, 0, 1, False, XA_CARDINAL, &type,
                                   &format, &items, &remaining, &data) == Success &&
                data != nullptr) {
                if (items == 1 &&
                    *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(pid)) {
                    found = attributes;
                }
                XFree(data);
            }
        }
        XFree(children);
        return found;
    }

    // The centre of the accent-blue switch in the right part of a window's
    // top half, found on the screen's pixels so that the layout may change.
    std::optional<std::pair<int, int>> findSwitch(const XWindowAttributes& window) {
        const int left = window.x + window.width * 3 / 4, top = window.y;
        const int width = window.width / 4, height = window.height / 2;
        XImage* image =
            XGetImage(d(), DefaultRootWindow(d()), left, top, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (image == nullptr) {
            return std::nullopt;
        }
        long sumX = 0, sumY = 0, count = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                const unsigned red = (pixel >> 16) & 0xff, green = (pixel >> 8) & 0xff,
                               blue = pixel & 0xff;
                if (blue > 200 && red < 90 && green > 80 && green < 180) {
                    sumX += x;
                    sumY += y;
                    ++count;
                }
            }
        }
        XDestroyImage(image);
        if (count < 20) {
            return std::nullopt;
        }
        return std::pair{left + static_cast<int>(sumX / count),
                         top + static_cast<int>(sumY / count)};
    }

private:
    XServer x_;
    TemporaryFolder home_;
    std::filesystem::path runtime_;
    DisplayOpening display_;
};

} // namespace tamsel::testing
