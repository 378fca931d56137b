// The autostart race: tamsel starts before the panel. A small XEmbed tray of
// our own takes _NET_SYSTEM_TRAY_S0 two seconds later, with the colours of a
// light panel; tamsel must dock its icon then, drawn in the panel's ink.

#include "platform/x11/X11SystemTray.h"
#include "tests/shell/TamselUnderX.h"

using namespace tamsel;
using namespace tamsel::testing;

namespace {

constexpr long requestDock = 0;

class LateTray {
public:
    explicit LateTray(Display* display) : d_(display) {
        window_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 64, 64, 0, 0,
                                      WhitePixel(d_, DefaultScreen(d_)));
        opcode_ = internAtom(d_, "_NET_SYSTEM_TRAY_OPCODE");
    }

    // A light panel says its icons should be dark: 16-bit foreground, error,
    // warning and success colours, in the order trays announce them.
    void announceColours(unsigned long red, unsigned long green, unsigned long blue) {
        const unsigned long colours[12] = {red,    green,  blue, 0xffff, 0,      0,
                                           0xffff, 0xffff, 0,    0,      0xffff, 0};
        XChangeProperty(d_, window_, internAtom(d_, "_NET_SYSTEM_TRAY_COLORS"), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(colours), 12);
    }

    void takeSelection() {
        const Atom selection = internAtom(d_, "_NET_SYSTEM_TRAY_S0");
        XSetSelectionOwner(d_, selection, window_, CurrentTime);
        XEvent manager{};
        manager.xclient.type = ClientMessage;
        manager.xclient.window = DefaultRootWindow(d_);
        manager.xclient.message_type = internAtom(d_, "MANAGER");
        manager.xclient.format = 32;
        manager.xclient.data.l[0] = CurrentTime;
        manager.xclient.data.l[1] = static_cast<long>(selection);
        manager.xclient.data.l[2] = static_cast<long>(window_);
        XSendEvent(d_, DefaultRootWindow(d_), False, StructureNotifyMask, &manager);
        XMapWindow(d_, window_);
        XSync(d_, False);
    }

    // The window that last asked to dock, once one has. Qt may replace its
    // icon window when it learns of the tray, and ask again.
    std::optional<Window> dockRequest() {
        std::optional<Window> latest;
        while (XPending(d_) > 0) {
            XEvent event;
            XNextEvent(d_, &event);
            if (event.type == ClientMessage && event.xclient.message_type == opcode_ &&
                event.xclient.data.l[1] == requestDock) {
                latest = static_cast<Window>(event.xclient.data.l[2]);
            }
        }
        return latest;
    }

    // What a tray does with a docked icon: take it in and show it.
    void embed(Window icon) {
        XReparentWindow(d_, icon, window_, 0, 0);
        XResizeWindow(d_, icon, 36, 36);
        XMapWindow(d_, icon);
        XSync(d_, False);
    }

    // How many of the tray's pixels are dark ink.
    int darkPixels() {
        XImage* image = XGetImage(d_, window_, 0, 0, 36, 36, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return 0;
        }
        int dark = 0;
        for (int y = 0; y < 36; ++y) {
            for (int x = 0; x < 36; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                dark += ((pixel >> 16) & 0xff) < 0x80 && ((pixel >> 8) & 0xff) < 0x80 &&
                                (pixel & 0xff) < 0x80
                            ? 1
                            : 0;
            }
        }
        XDestroyImage(image);
        return dark;
    }

private:
    Display* d_;
    Window window_;
    Atom opcode_;
};

} // namespace

TEST(SystemTrayTest, ColoursOfTheTrayAreReadFromItsProperty) {
    const unsigned long light[] = {0xeeee, 0xeeee, 0xecec};
    EXPECT_EQ(X11SystemTray::foregroundFrom(light, 12),
              (SystemTrayState::Colour{0xee, 0xee, 0xec}));
    EXPECT_EQ(X11SystemTray::foregroundFrom(light, 2), std::nullopt);
    EXPECT_EQ(X11SystemTray::foregroundFrom(nullptr, 0), std::nullopt);
}

TEST(SystemTrayTest, TrayThatAppearsTwoSecondsLateGetsTheIconInItsInk) {
    TamselUnderX session;
    session.writeConfig(oneRuleConfig("paste", "Plan only."));
    LateTray tray(session.d());
    auto tamsel = session.start();
    ASSERT_TRUE(session.waitForShortcuts()) << readFile(session.log());

    std::this_thread::sleep_for(2s);
    tray.announceColours(0x2e2e, 0x3434, 0x3636);
    tray.takeSelection();

    std::optional<Window> icon;
    ASSERT_TRUE(waitUntil([&] { return (icon = tray.dockRequest()).has_value(); }, 10s))
        << "no icon asked to dock\n"
        << readFile(session.log());
    std::this_thread::sleep_for(500ms);
    if (auto later = tray.dockRequest()) {
        icon = later;
    }
    tray.embed(*icon);
    // Drawn in the dark ink on the white tray: the default light ink would
    // leave no dark pixel at all.
    EXPECT_TRUE(waitUntil([&] { return tray.darkPixels() > 20; }, 5s))
        << tray.darkPixels() << " dark pixels";
    EXPECT_FALSE(tamsel->waitForExit(0ms));
}
