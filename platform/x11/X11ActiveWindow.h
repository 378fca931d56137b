#pragma once

// Which application is in front: the WM_CLASS class of the root window's
// _NET_ACTIVE_WINDOW, followed through property changes on the root window
// (no polling). Owned by the main thread, whose event loop watches
// fileDescriptor() and calls processEvents() when it is readable.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/x11/X11Handle.h"

namespace tamsel {

struct ActiveApplication {
    std::optional<std::string> windowClass;
    // _NET_WM_PID of the active window, to tell our own windows apart.
    std::optional<long> processID;
    bool operator==(const ActiveApplication&) const = default;
};

class X11ActiveWindow {
public:
    // No value, and the reason in `error`, without a display.
    static std::unique_ptr<X11ActiveWindow> create(std::string& error);

    int fileDescriptor() const;
    // Reads every event waiting; calls the handler once if the active
    // application changed.
    void processEvents();
    const ActiveApplication& current() const { return current_; }
    void setOnChange(std::function<void(const ActiveApplication&)> handler) {
        onChange_ = std::move(handler);
    }

    explicit X11ActiveWindow(DisplayHandle display); // use create()

private:
    ActiveApplication read();

    DisplayHandle display_;
    XResource activeWindowAtom_;
    XResource pidAtom_;
    ActiveApplication current_;
    std::function<void(const ActiveApplication&)> onChange_;
};

} // namespace tamsel
