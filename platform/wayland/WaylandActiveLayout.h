#pragma once

// The user's keyboard layout as the compositor hands it to every client
// with a keyboard: a keyboard object of our own on a connection of our own,
// which receives the keymap again whenever the user changes layouts.
//
// A client without focus is not told which layout is active, so where the
// keymap holds several, a keysym counts as typeable only when all of them
// have it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/KeyboardLayout.h"
#include "platform/wayland/LayoutKeysyms.h"

struct wl_keyboard;
struct wl_seat;

namespace tamsel {

class WaylandConnection;

class WaylandActiveLayout final : public KeyboardLayout {
public:
    // No value, with the reason in `error`, when no compositor answers or it
    // has no seat.
    static std::unique_ptr<WaylandActiveLayout> create(std::string& error);
    ~WaylandActiveLayout() override;
    WaylandActiveLayout(const WaylandActiveLayout&) = delete;
    WaylandActiveLayout& operator=(const WaylandActiveLayout&) = delete;

    // Any thread. Asks the compositor first, so a layout switched a moment
    // ago counts.
    std::vector<std::uint32_t> missing(const std::vector<std::uint32_t>& keysyms) override;
    // Whether a keymap has arrived and could be read.
    bool known();

    // Called from the seat's and the keyboard's listeners.
    void takeCapabilities(std::uint32_t capabilities);
    void takeKeymap(std::uint32_t format, int fd, std::uint32_t size);

private:
    WaylandActiveLayout() = default;
    // Handles what the compositor sent; a keyboard asked for on the way
    // gets its keymap in a second exchange.
    void catchUp();

    std::mutex mutex_;
    std::unique_ptr<WaylandConnection> connection_;
    wl_seat* seat_ = nullptr;
    // Only while the seat has a keyboard: asking for one before is an error
    // that ends the connection.
    wl_keyboard* keyboard_ = nullptr;
    bool keymapAwaited_ = false;
    std::optional<LayoutKeysyms> keysyms_;
};

} // namespace tamsel
