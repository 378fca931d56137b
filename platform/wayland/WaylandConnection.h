#pragma once

// One connection to the Wayland compositor, with the globals it announced.
// Each backend owns a connection of its own, as the X11 backends do, so a
// blocking wait in one (the injector's) never holds up another (the
// clipboard owner's event loop).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_interface;

namespace tamsel {

struct WaylandGlobal {
    std::uint32_t name = 0;
    std::string interface;
    std::uint32_t version = 0;
};

class WaylandConnection {
public:
    // No value, and the reason in `error`, when no compositor answers.
    static std::unique_ptr<WaylandConnection> open(std::string& error);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    const std::vector<WaylandGlobal>& globals() const { return globals_; }
    std::optional<WaylandGlobal> global(const std::string& interface) const;
    // Binds the global at no more than `maximumVersion`; null when absent.
    void* bind(const wl_interface& interface, std::uint32_t maximumVersion);
    // The first seat, bound once; null when the compositor has none.
    wl_seat* seat();
    // Sends what is queued and waits until the compositor has handled it.
    bool roundtrip();

private:
    WaylandConnection() = default;

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::vector<WaylandGlobal> globals_;
};

} // namespace tamsel
