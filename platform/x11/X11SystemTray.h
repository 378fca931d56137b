#pragma once

// Whether an XEmbed system tray runs on the default screen, and the colours
// it asks icons to use: the owner of the _NET_SYSTEM_TRAY_S<n> selection and
// its _NET_SYSTEM_TRAY_COLORS property, followed through XFixes selection
// events and property changes (no polling). A panel that starts after us, as
// at login, is seen the moment it takes the selection. Main thread: its event
// loop watches fileDescriptor() and calls processEvents() when it is readable.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/x11/X11Handle.h"

namespace tamsel {

struct SystemTrayState {
    struct Colour {
        std::uint8_t red = 0, green = 0, blue = 0;
        bool operator==(const Colour&) const = default;
    };
    bool present = false;
    // The foreground the tray wants symbolic icons drawn in, if it says.
    std::optional<Colour> foreground;
    bool operator==(const SystemTrayState&) const = default;
};

class X11SystemTray {
public:
    // No value, and the reason in `error`, without a display or XFixes.
    static std::unique_ptr<X11SystemTray> create(std::string& error);
    ~X11SystemTray();
    X11SystemTray(const X11SystemTray&) = delete;
    X11SystemTray& operator=(const X11SystemTray&) = delete;

    int fileDescriptor() const;
    // Reads every event waiting; calls the handler once if the state changed.
    void processEvents();
    const SystemTrayState& current() const { return current_; }
    void setOnChange(std::function<void(const SystemTrayState&)> handler) {
        onChange_ = std::move(handler);
    }

    // The colours property's 16-bit values, foreground first (red, green, blue).
    static std::optional<SystemTrayState::Colour> foregroundFrom(const unsigned long* values,
                                                                 unsigned long count);

private:
    X11SystemTray(DisplayHandle display, int fixesEventBase);
    SystemTrayState read();

    DisplayHandle display_;
    int fixesEventBase_;
    XResource selection_;
    XResource colorsAtom_;
    XResource owner_ = 0;
    SystemTrayState current_;
    std::function<void(const SystemTrayState&)> onChange_;
};

} // namespace tamsel
