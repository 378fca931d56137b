#pragma once

// The window in front and the application it belongs to, read straight from
// the window system at the moment of asking (never a cached value).

#include <cstdint>
#include <optional>
#include <string>

namespace tamsel {

struct FrontWindow {
    // The window system's own id; 0 when none is in front.
    std::uint64_t id = 0;
    // What the configuration's target list names (the WM_CLASS class under
    // X11, the bundle identifier on macOS).
    std::optional<std::string> applicationID;

    bool operator==(const FrontWindow&) const = default;
};

class FrontWindowProbe {
public:
    virtual ~FrontWindowProbe() = default;
    // No value when the window system cannot be asked.
    virtual std::optional<FrontWindow> frontWindow() = 0;
};

} // namespace tamsel
