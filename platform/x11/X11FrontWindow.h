#pragma once

// The window in front under X11: the root window's _NET_ACTIVE_WINDOW and its
// WM_CLASS class, read with round trips on the caller's connection, so that
// no change of focus can sit unread in an event queue.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/FrontWindow.h"
#include "platform/x11/X11Handle.h"

namespace tamsel {

// On any connection, on the thread that owns it. No value when the server
// does not answer.
std::optional<FrontWindow> readFrontWindow(_XDisplay* display);

// The same on a connection of its own; any thread.
class X11FrontWindowProbe final : public FrontWindowProbe {
public:
    // No value, and the reason in `error`, without a display.
    static std::shared_ptr<X11FrontWindowProbe> create(std::string& error);
    std::optional<FrontWindow> frontWindow() override;

    explicit X11FrontWindowProbe(DisplayHandle display); // use create()

private:
    std::mutex mutex_;
    DisplayHandle display_;
};

} // namespace tamsel
