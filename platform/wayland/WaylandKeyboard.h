#pragma once

// Synthesised keys on Wayland through a virtual keyboard of our own, on a
// connection of the injector's own. Each character is typed with a key the
// keyboard's own layout gives it (see TypingKeymap), so nothing depends on
// the user's layout and no mapping can change under a key still unread:
// the compositor passes the new layout to the window, in order, before the
// key that needs it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/KeyboardEvents.h"
#include "platform/wayland/TypingKeymap.h"
#include "platform/wayland/WaylandConnection.h"

struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace tamsel {

class WaylandKeyboard final : public KeyboardEvents {
public:
    static constexpr int layoutSettleMS = 30;

    // No value, and the reason in `error`, when the compositor offers no
    // virtual keyboards (GNOME and KDE do not).
    static std::shared_ptr<WaylandKeyboard> create(std::string& error);
    ~WaylandKeyboard() override;

    std::unique_ptr<KeyEventSource> createPrivateSource() override;
    std::unique_ptr<SyntheticKeyEvent> createKeyEvent(KeyEventSource* source, std::uint16_t keyCode,
                                                      bool keyDown) override;
    void post(SyntheticKeyEvent& event) override;
    // Wayland shows no client the state of the real keyboard.
    std::uint64_t combinedModifierFlags() override { return 0; }

    explicit WaylandKeyboard(std::unique_ptr<WaylandConnection> connection); // use create()

private:
    void pressModifiers(std::uint64_t flags, bool down);
    void pressKey(unsigned code, bool down);
    void type(std::u16string_view units);
    bool makeRoomFor(const std::vector<std::uint32_t>& keysyms);
    bool uploadKeymap();
    std::uint32_t now() const;

    std::mutex mutex_;
    std::unique_ptr<WaylandConnection> connection_;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    TypingKeymap keymap_;
    std::uint32_t modifiers_ = 0;
};

} // namespace tamsel
