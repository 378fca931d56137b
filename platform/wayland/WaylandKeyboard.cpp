#include "platform/wayland/WaylandKeyboard.h"

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>
#include <vector>
#include <utility>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include "core/config/Hotkey.h"
#include "platform/wayland/virtual-keyboard-unstable-v1-client-protocol.h"

namespace tamsel {

namespace {

// The virtual key codes the injector presses by name, on evdev codes.
std::optional<unsigned> evdevCode(std::uint16_t virtualKeyCode) {
    switch (virtualKeyCode) {
    case 36:
    case 76:
        return TypingKeymap::returnCode;
    case 114:
        return TypingKeymap::insertCode;
    case 9:
        return TypingKeymap::vCode;
    case 48:
        return TypingKeymap::tabCode;
    case 49:
        return TypingKeymap::spaceCode;
    default:
        return std::nullopt;
    }
}

class WaylandKeyEvent final : public SyntheticKeyEvent {
public:
    WaylandKeyEvent(unsigned code, bool down) : code(code), down(down) {}
    void setFlags(std::uint64_t value) override { flags = value; }
    void setUnicodeString(std::u16string_view units) override { text.assign(units); }
    // Our keys come from a keyboard of our own, which the trigger never watches.
    void setSourceUserData(std::int64_t) override {}

    unsigned code;
    bool down;
    std::uint64_t flags = 0;
    std::u16string text;
};

// A file the compositor can map: the keymap text with its terminating zero.
class KeymapFile {
public:
    explicit KeymapFile(const std::string& text) : size_(text.size() + 1) {
        fd_ = memfd_create("tamsel-keymap", MFD_CLOEXEC);
        if (fd_ < 0 || ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
            return;
        }
        void* memory = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (memory == MAP_FAILED) {
            return;
        }
        std::copy(text.begin(), text.end(), static_cast<char*>(memory));
        static_cast<char*>(memory)[text.size()] = '\0';
        munmap(memory, size_);
        ready_ = true;
    }
    ~KeymapFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    KeymapFile(const KeymapFile&) = delete;
    KeymapFile& operator=(const KeymapFile&) = delete;
    bool ready() const { return ready_; }
    int fd() const { return fd_; }
    std::size_t size() const { return size_; }

private:
    int fd_ = -1;
    std::size_t size_;
    bool ready_ = false;
};

} // namespace

std::shared_ptr<WaylandKeyboard> WaylandKeyboard::create(std::string& error) {
    auto connection = WaylandConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    if (!connection->global(zwp_virtual_keyboard_manager_v1_interface.name)) {
        error = "this Wayland compositor offers no virtual keyboard "
                "(zwp_virtual_keyboard_manager_v1)";
        return nullptr;
    }
    if (!connection->seat()) {
        error = "this Wayland compositor has no seat";
        return nullptr;
    }
    auto keyboard = std::make_shared<WaylandKeyboard>(std::move(connection));
    if (!keyboard->keyboard_ || !keyboard->uploadKeymap()) {
        error = "the Wayland compositor refused a virtual keyboard";
        return nullptr;
    }
    return keyboard;
}

WaylandKeyboard::WaylandKeyboard(std::unique_ptr<WaylandConnection> connection)
    : connection_(std::move(connection)) {
    manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
        connection_->bind(zwp_virtual_keyboard_manager_v1_interface, 1));
    if (manager_) {
        keyboard_ =
            zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, connection_->seat());
    }
}

WaylandKeyboard::~WaylandKeyboard() {
    if (keyboard_) {
        zwp_virtual_keyboard_v1_destroy(keyboard_);
    }
    if (manager_) {
        zwp_virtual_keyboard_manager_v1_destroy(manager_);
    }
    wl_display_flush(connection_->display());
}

std::unique_ptr<KeyEventSource> WaylandKeyboard::createPrivateSource() { return nullptr; }

std::unique_ptr<SyntheticKeyEvent> WaylandKeyboard::createKeyEvent(KeyEventSource*,
                                                                   std::uint16_t keyCode,
                                                                   bool keyDown) {
    return std::make_unique<WaylandKeyEvent>(evdevCode(keyCode).value_or(0), keyDown);
}

std::uint32_t WaylandKeyboard::now() const {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool WaylandKeyboard::uploadKeymap() {
    KeymapFile file(keymap_.text());
    if (!file.ready()) {
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, XKB_KEYMAP_FORMAT_TEXT_V1, file.fd(),
                                   static_cast<std::uint32_t>(file.size()));
    // The descriptor is sent with the request: it may be closed once flushed.
    return wl_display_roundtrip(connection_->display()) >= 0;
}

void WaylandKeyboard::pressKey(unsigned code, bool down) {
    zwp_virtual_keyboard_v1_key(keyboard_, now(), code,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED
                                     : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void WaylandKeyboard::pressModifiers(std::uint64_t flags, bool down) {
    const std::pair<std::uint64_t, std::pair<unsigned, std::uint32_t>> keys[] = {
        {Modifiers::controlFlag, {TypingKeymap::controlCode, TypingKeymap::controlMask}},
        {Modifiers::optionFlag, {TypingKeymap::altCode, TypingKeymap::altMask}},
        {Modifiers::shiftFlag, {TypingKeymap::shiftCode, TypingKeymap::shiftMask}},
        {Modifiers::commandFlag, {TypingKeymap::superCode, TypingKeymap::superMask}},
    };
    for (const auto& [flag, key] : keys) {
        if ((flags & flag) == 0) {
            continue;
        }
        pressKey(key.first, down);
        modifiers_ = down ? (modifiers_ | key.second) : (modifiers_ & ~key.second);
        zwp_virtual_keyboard_v1_modifiers(keyboard_, modifiers_, 0, 0, 0);
    }
}

bool WaylandKeyboard::makeRoomFor(const std::vector<std::uint32_t>& keysyms) {
    bool fits = true;
    for (std::uint32_t keysym : keysyms) {
        fits = fits && keymap_.codeFor(keysym).has_value();
    }
    if (!fits) {
        // Every spare key holds a character: start a layout for this piece.
        keymap_.reset();
        for (std::uint32_t keysym : keysyms) {
            keymap_.codeFor(keysym);
        }
    }
    if (!keymap_.changed()) {
        return true;
    }
    if (!uploadKeymap()) {
        return false;
    }
    // The compositor hands a new layout to the window when our next key
    // comes; keys right behind it were seen to get lost, so they wait a
    // moment. One layout per piece of text keeps these pauses rare.
    std::this_thread::sleep_for(std::chrono::milliseconds(layoutSettleMS));
    return true;
}

void WaylandKeyboard::type(std::u16string_view units) {
    std::vector<std::uint32_t> keysyms;
    for (std::size_t at = 0; at < units.size(); ++at) {
        char32_t character = units[at];
        if (character >= 0xD800 && character <= 0xDBFF && at + 1 < units.size()) {
            character = 0x10000 + ((character - 0xD800) << 10) + (units[at + 1] - 0xDC00);
            ++at;
        }
        std::uint32_t keysym = 0;
        if (character == U'\n' || character == U'\r') {
            keysym = XKB_KEY_Return;
        } else if (character == U'\t') {
            keysym = XKB_KEY_Tab;
        } else {
            keysym = xkb_utf32_to_keysym(character);
        }
        if (keysym != XKB_KEY_NoSymbol) {
            keysyms.push_back(keysym);
        }
    }
    // Each batch holds no more distinct characters than one layout has keys.
    std::vector<std::uint32_t> batch;
    std::set<std::uint32_t> distinct;
    auto typeBatch = [&] {
        if (!batch.empty() && makeRoomFor(batch)) {
            for (std::uint32_t keysym : batch) {
                if (auto code = keymap_.codeFor(keysym)) {
                    pressKey(*code, true);
                    pressKey(*code, false);
                }
            }
        }
        batch.clear();
        distinct.clear();
    };
    for (std::uint32_t keysym : keysyms) {
        if (distinct.count(keysym) == 0 && distinct.size() >= keymap_.capacity()) {
            typeBatch();
        }
        distinct.insert(keysym);
        batch.push_back(keysym);
    }
    typeBatch();
}

void WaylandKeyboard::post(SyntheticKeyEvent& event) {
    auto& key = static_cast<WaylandKeyEvent&>(event);
    std::lock_guard lock(mutex_);
    if (!key.text.empty()) {
        if (key.down) {
            type(key.text);
        }
    } else if (key.code != 0) {
        if (key.down) {
            pressModifiers(key.flags, true);
            pressKey(key.code, true);
        } else {
            pressKey(key.code, false);
            pressModifiers(key.flags, false);
        }
    }
    wl_display_flush(connection_->display());
}

} // namespace tamsel
