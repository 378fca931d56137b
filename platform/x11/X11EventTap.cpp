#include "platform/x11/X11EventTap.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include "platform/x11/X11Display.h"
#include "platform/x11/X11FrontWindow.h"
#include "platform/x11/X11KeyCodes.h"

namespace tamsel {

X11EventTap::X11EventTap(DisplayHandle display, EventTapClient& client,
                         std::shared_ptr<SyntheticKeyLedger> ledger, std::int64_t syntheticMarker,
                         FileDescriptor wakeRead, FileDescriptor wakeWrite)
    : display_(std::move(display)), client_(client), ledger_(std::move(ledger)),
      syntheticMarker_(syntheticMarker), wakeRead_(std::move(wakeRead)),
      wakeWrite_(std::move(wakeWrite)) {
    // Without this a held key repeats as release-press pairs; with it the
    // repeats are presses alone, as on other systems.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display_.get(), True, &supported);
}

// Closing the connection releases the grabs and unfreezes a keyboard we hold.
X11EventTap::~X11EventTap() = default;

void X11EventTap::setEnabled(bool enabled) {
    enabled_.store(enabled, std::memory_order_release);
}

void X11EventTap::stop() {
    stopped_.store(true, std::memory_order_release);
    wake();
}

void X11EventTap::watchedHotkeysChanged() {
    regrab_.store(true, std::memory_order_release);
    wake();
}

void X11EventTap::wake() {
    const char byte = 1;
    // A full pipe already wakes the loop.
    [[maybe_unused]] ssize_t written = ::write(wakeWrite_.get(), &byte, 1);
}

void X11EventTap::run() {
    Display* d = display_.get();
    grabWatched();
    while (!stopped_.load(std::memory_order_acquire)) {
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == KeyPress) {
                handle(event);
            } else if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
            }
        }
        if (regrab_.exchange(false, std::memory_order_acq_rel)) {
            grabWatched();
            continue;
        }
        pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        // A shortcut another client holds is tried again now and then: it
        // may let go (a program that grabbed it quits).
        const int ready = ::poll(fds, 2, refusedCount_ > 0 ? refusedRetryMS : -1);
        if (ready == 0) {
            regrab_.store(true, std::memory_order_release);
            continue;
        }
        if (ready < 0) {
            continue; // EINTR
        }
        if (fds[1].revents & POLLIN) {
            char buffer[64];
            while (::read(wakeRead_.get(), buffer, sizeof buffer) > 0) {
            }
        }
        if (fds[0].revents & (POLLERR | POLLHUP)) {
            break; // the server went away
        }
    }
    ungrabAll();
    XSync(d, False);
}

void X11EventTap::handle(const XEvent& xevent) {
    const XKeyEvent& event = xevent.xkey;
    TapEvent tapEvent;
    tapEvent.type = TapEventType::keyDown;
    tapEvent.flags = X11KeyCodes::eventFlags(event.state);
    if (auto code = X11KeyCodes::virtualKeyCode(event.keycode)) {
        tapEvent.keyCode = *code;
    } else {
        tapEvent.type = TapEventType::other;
    }
    if (ledger_->claim(event.keycode, tapEvent.flags)) {
        tapEvent.sourceUserData = syntheticMarker_;
    } else if (tapEvent.type == TapEventType::keyDown) {
        // Only shortcuts reach us, so the round trips cost nothing in typing.
        tapEvent.frontWindow = readFrontWindow(display_.get());
    }
    TapVerdict verdict = TapVerdict::passThrough;
    if (enabled_.load(std::memory_order_acquire)) {
        verdict = client_.handleTapEvent(tapEvent);
    }
    // Replaying sends the key on to the focused window unchanged; letting the
    // keyboard go asynchronously drops it.
    XAllowEvents(display_.get(), verdict == TapVerdict::consume ? AsyncKeyboard : ReplayKeyboard,
                 event.time);
    XFlush(display_.get());
}

unsigned X11EventTap::numLockMask() {
    Display* d = display_.get();
    unsigned mask = 0;
    const KeyCode numLock = XKeysymToKeycode(d, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(d);
    if (map == nullptr) {
        return 0;
    }
    for (int modifier = 0; modifier < 8 && numLock != 0; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == numLock) {
                mask = 1u << modifier;
            }
        }
    }
    XFreeModifiermap(map);
    return mask;
}

void X11EventTap::grabWatched() {
    Display* d = display_.get();
    const Window root = DefaultRootWindow(d);
    ungrabAll();
    const std::vector<unsigned> variants = X11KeyCodes::lockVariants(numLockMask());
    std::vector<Hotkey> unavailable;
    for (const Hotkey& hotkey : client_.watchedHotkeys()) {
        const unsigned mask = X11KeyCodes::xModifierMask(hotkey.modifiers);
        bool refused = false;
        for (unsigned code : X11KeyCodes::xKeyCodes(hotkey.key)) {
            X11ErrorTrap trap(d);
            std::vector<std::pair<unsigned, unsigned>> made;
            for (unsigned variant : variants) {
                XGrabKey(d, static_cast<int>(code), mask | variant, root, False, GrabModeAsync,
                         GrabModeSync);
                made.emplace_back(code, mask | variant);
            }
            // Another client holds the combination (BadAccess): ours would never
            // fire. The keypad's Enter alone being taken leaves the shortcut usable.
            const auto& errors = trap.sync();
            const bool denied = std::any_of(errors.begin(), errors.end(), [](const XErrorEvent& e) {
                return e.error_code == BadAccess;
            });
            refused = refused || (denied && code == X11KeyCodes::xKeyCodes(hotkey.key).front());
            grabbed_.insert(grabbed_.end(), made.begin(), made.end());
        }
        if (refused) {
            unavailable.push_back(hotkey);
        }
    }
    refusedCount_ = unavailable.size();
    client_.watchedHotkeysUnavailable(std::move(unavailable));
}

void X11EventTap::ungrabAll() {
    Display* d = display_.get();
    X11ErrorTrap trap(d);
    for (const auto& [code, mask] : grabbed_) {
        XUngrabKey(d, static_cast<int>(code), mask, DefaultRootWindow(d));
    }
    grabbed_.clear();
}

X11EventTapService::X11EventTapService(std::shared_ptr<SyntheticKeyLedger> ledger,
                                       std::int64_t syntheticMarker)
    : ledger_(std::move(ledger)), syntheticMarker_(syntheticMarker) {}

std::shared_ptr<EventTap> X11EventTapService::createTap(EventTapClient& client) {
    DisplayOpening opened = openDisplay();
    if (!opened.display) {
        return nullptr;
    }
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        return nullptr;
    }
    return std::make_shared<X11EventTap>(std::move(opened.display), client, ledger_,
                                         syntheticMarker_, FileDescriptor(fds[0]),
                                         FileDescriptor(fds[1]));
}

} // namespace tamsel
