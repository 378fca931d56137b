#include "platform/wayland/WaylandActiveLayout.h"

#include <sys/mman.h>

#include <string_view>
#include <utility>

#include <wayland-client.h>

#include "core/toolkit/FileDescriptor.h"
#include "platform/wayland/WaylandConnection.h"

namespace tamsel {

namespace {

void capabilities(void* data, wl_seat*, std::uint32_t capabilities) {
    static_cast<WaylandActiveLayout*>(data)->takeCapabilities(capabilities);
}
void seatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener{capabilities, seatName};

void keymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
    static_cast<WaylandActiveLayout*>(data)->takeKeymap(format, fd, size);
}
void enter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void leave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void key(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void modifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
               std::uint32_t) {}
void repeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener keyboardListener{keymap, enter, leave, key, modifiers, repeatInfo};

// A read-only view of the keymap file for as long as it is parsed.
class MappedKeymap {
public:
    MappedKeymap(int fd, std::size_t size) : size_(size) {
        void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        data_ = data == MAP_FAILED ? nullptr : data;
    }
    ~MappedKeymap() {
        if (data_) {
            munmap(data_, size_);
        }
    }
    MappedKeymap(const MappedKeymap&) = delete;
    MappedKeymap& operator=(const MappedKeymap&) = delete;
    std::optional<std::string_view> text() const {
        if (!data_) {
            return std::nullopt;
        }
        return std::string_view(static_cast<const char*>(data_), size_);
    }

private:
    void* data_ = nullptr;
    std::size_t size_;
};

} // namespace

std::unique_ptr<WaylandActiveLayout> WaylandActiveLayout::create(std::string& error) {
    std::unique_ptr<WaylandActiveLayout> layout(new WaylandActiveLayout());
    layout->connection_ = WaylandConnection::open(error);
    if (!layout->connection_) {
        return nullptr;
    }
    layout->seat_ = layout->connection_->seat();
    if (!layout->seat_) {
        error = "the Wayland compositor offers no seat, so its keyboard layout is unknown";
        return nullptr;
    }
    wl_seat_add_listener(layout->seat_, &seatListener, layout.get());
    layout->catchUp();
    return layout;
}

void WaylandActiveLayout::catchUp() {
    connection_->roundtrip();
    if (std::exchange(keymapAwaited_, false)) {
        connection_->roundtrip();
    }
}

void WaylandActiveLayout::takeCapabilities(std::uint32_t capabilities) {
    const bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (hasKeyboard && !keyboard_) {
        // The compositor sends the keymap as soon as the keyboard exists.
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
        keymapAwaited_ = true;
    } else if (!hasKeyboard && keyboard_) {
        wl_keyboard_destroy(keyboard_);
        keyboard_ = nullptr;
        keysyms_.reset();
    }
}

WaylandActiveLayout::~WaylandActiveLayout() {
    if (keyboard_) {
        wl_keyboard_destroy(keyboard_);
    }
}

void WaylandActiveLayout::takeKeymap(std::uint32_t format, int fd, std::uint32_t size) {
    FileDescriptor file(fd);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        keysyms_.reset();
        return;
    }
    const MappedKeymap mapped(file.get(), size);
    const std::optional<std::string_view> text = mapped.text();
    keysyms_ = text ? LayoutKeysyms::fromKeymapText(*text) : std::nullopt;
}

bool WaylandActiveLayout::known() {
    std::lock_guard lock(mutex_);
    catchUp();
    return keysyms_.has_value();
}

std::vector<std::uint32_t> WaylandActiveLayout::missing(const std::vector<std::uint32_t>& keysyms) {
    std::lock_guard lock(mutex_);
    // Delivers a keymap sent since we last asked; a compositor that has gone
    // leaves the last one known.
    catchUp();
    std::vector<std::uint32_t> lacking;
    if (!keysyms_) {
        return lacking;
    }
    for (std::uint32_t keysym : keysyms) {
        if (!keysyms_->has(keysym)) {
            lacking.push_back(keysym);
        }
    }
    return lacking;
}

} // namespace tamsel
