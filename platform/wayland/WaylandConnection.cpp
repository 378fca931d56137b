#include "platform/wayland/WaylandConnection.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <wayland-client.h>

namespace tamsel {

namespace {

void announce(void* data, wl_registry*, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    static_cast<std::vector<WaylandGlobal>*>(data)->push_back({name, interface, version});
}

void remove(void* data, wl_registry*, std::uint32_t name) {
    auto* globals = static_cast<std::vector<WaylandGlobal>*>(data);
    std::erase_if(*globals, [name](const WaylandGlobal& g) { return g.name == name; });
}

const wl_registry_listener registryListener{announce, remove};

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open(std::string& error) {
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection());
    connection->display_ = wl_display_connect(nullptr);
    if (!connection->display_) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        error = std::string("cannot connect to the Wayland compositor") +
                (name ? std::string(" at “") + name + "”" : std::string(" (WAYLAND_DISPLAY is not set)")) +
                ": " + std::strerror(errno);
        return nullptr;
    }
    connection->registry_ = wl_display_get_registry(connection->display_);
    wl_registry_add_listener(connection->registry_, &registryListener, &connection->globals_);
    if (!connection->roundtrip()) {
        error = "the Wayland compositor closed the connection";
        return nullptr;
    }
    return connection;
}

WaylandConnection::~WaylandConnection() {
    if (seat_) {
        wl_seat_destroy(seat_);
    }
    if (registry_) {
        wl_registry_destroy(registry_);
    }
    if (display_) {
        wl_display_disconnect(display_);
    }
}

std::optional<WaylandGlobal> WaylandConnection::global(const std::string& interface) const {
    auto found = std::find_if(globals_.begin(), globals_.end(),
                              [&](const WaylandGlobal& g) { return g.interface == interface; });
    return found == globals_.end() ? std::nullopt : std::optional(*found);
}

void* WaylandConnection::bind(const wl_interface& interface, std::uint32_t maximumVersion) {
    auto found = global(interface.name);
    if (!found) {
        return nullptr;
    }
    const std::uint32_t version =
        std::min({found->version, maximumVersion, static_cast<std::uint32_t>(interface.version)});
    return wl_registry_bind(registry_, found->name, &interface, version);
}

wl_seat* WaylandConnection::seat() {
    if (!seat_) {
        seat_ = static_cast<wl_seat*>(bind(wl_seat_interface, 1));
    }
    return seat_;
}

bool WaylandConnection::roundtrip() { return wl_display_roundtrip(display_) >= 0; }

} // namespace tamsel
