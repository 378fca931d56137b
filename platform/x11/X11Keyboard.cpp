#include "platform/x11/X11Keyboard.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <thread>

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/x11/X11Display.h"
#include "platform/x11/X11KeyCodes.h"

namespace tamsel {

namespace {

constexpr std::size_t maximumSpares = 64;
// A client reads the keymap when it handles the key, not when it arrives, so a
// place is given a new keysym only after its last key had time to be read.
constexpr auto remapSettle = std::chrono::milliseconds(250);
// A slow client may still be reading the last keys of a long text.
constexpr auto restoreGrace = std::chrono::milliseconds(3000);

class X11KeyEvent final : public SyntheticKeyEvent {
public:
    X11KeyEvent(std::uint16_t keyCode, bool keyDown) : keyCode(keyCode), keyDown(keyDown) {}
    void setFlags(std::uint64_t value) override { flags = value; }
    void setUnicodeString(std::u16string_view value) override { units = value; }
    // XTest events carry no user data; the ledger stands in for the marker.
    void setSourceUserData(std::int64_t) override {}

    std::uint16_t keyCode;
    bool keyDown;
    std::uint64_t flags = 0;
    std::u16string units;
};

std::vector<char32_t> codePoints(std::u16string_view units) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

std::filesystem::path X11Keyboard::defaultRemapRecord() {
    std::filesystem::path folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
        folder = std::filesystem::path(runtime) / "tamsel";
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home) {
        folder = std::filesystem::path(home) / ".cache" / "tamsel";
    } else {
        return {};
    }
    std::string display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    for (char& c : display) {
        if (c == '/' || c == ':') {
            c = '_';
        }
    }
    return folder / ("remapped-keys" + display);
}

std::shared_ptr<X11Keyboard> X11Keyboard::create(std::shared_ptr<SyntheticKeyLedger> ledger,
                                                 std::string& error,
                                                 std::filesystem::path remapRecord) {
    DisplayOpening opened = openDisplay();
    if (!opened.display) {
        error = opened.error;
        return nullptr;
    }
    int event = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(opened.display.get(), &event, &errorBase, &major, &minor)) {
        error = "The X server has no XTEST extension, which Tamsel needs to type.";
        return nullptr;
    }
    try {
        return std::make_shared<X11Keyboard>(std::move(opened.display), std::move(ledger),
                                             std::move(remapRecord));
    } catch (const std::system_error&) {
        error = "Cannot start the keyboard's helper thread.";
        return nullptr;
    }
}

X11Keyboard::X11Keyboard(DisplayHandle display, std::shared_ptr<SyntheticKeyLedger> ledger,
                         std::filesystem::path remapRecord)
    : display_(std::move(display)), ledger_(std::move(ledger)),
      remapRecord_(std::move(remapRecord)) {
    Display* d = display_.get();
    // Our keys must not wait behind a grab of our own connection's making.
    XTestGrabControl(d, True);
    undoRecordedRemaps();
    int minimum = 0, maximum = 0;
    XDisplayKeycodes(d, &minimum, &maximum);
    int perKeycode = 0;
    KeySym* map =
        XGetKeyboardMapping(d, static_cast<KeyCode>(minimum), maximum - minimum + 1, &perKeycode);
    if (map != nullptr) {
        // From the top: low keycodes are real keys on most keyboards.
        std::vector<unsigned> spares;
        for (int code = maximum; code >= minimum && spares.size() < maximumSpares; --code) {
            const KeySym* syms = map + static_cast<std::ptrdiff_t>(code - minimum) * perKeycode;
            if (std::all_of(syms, syms + perKeycode, [](KeySym s) { return s == NoSymbol; })) {
                spares.push_back(static_cast<unsigned>(code));
            }
        }
        // Only the plain level: clients do not all follow a key's type when
        // it changes to two levels, and would type the plain one with Shift.
        for (unsigned code : spares) {
            slots_.push_back({code, 0, 0, {}});
        }
        XFree(map);
    }
    const std::pair<std::uint64_t, KeySym> modifiers[] = {
        {Modifiers::shiftFlag, XK_Shift_L},
        {Modifiers::controlFlag, XK_Control_L},
        {Modifiers::optionFlag, XK_Alt_L},
        {Modifiers::commandFlag, XK_Super_L},
    };
    for (const auto& [flag, keysym] : modifiers) {
        if (KeyCode code = XKeysymToKeycode(d, keysym); code != 0) {
            modifierKeyCodes_[flag] = code;
        }
    }
    restorer_ = std::thread([this] { restorerMain(); });
}

X11Keyboard::~X11Keyboard() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    restoreChanged_.notify_all();
    restorer_.join();
    std::lock_guard guard(mutex_);
    restoreLayout();
}

void X11Keyboard::restorerMain() {
    std::unique_lock guard(mutex_);
    while (!stopping_) {
        if (!restoreDue_) {
            restoreChanged_.wait(guard);
            continue;
        }
        if (restoreChanged_.wait_until(guard, *restoreDue_) == std::cv_status::timeout &&
            restoreDue_ && std::chrono::steady_clock::now() >= *restoreDue_) {
            restoreDue_.reset();
            restoreLayout();
        }
    }
}

std::unique_ptr<KeyEventSource> X11Keyboard::createPrivateSource() {
    return nullptr; // XTest has no event sources: every key comes from its one device
}

std::unique_ptr<SyntheticKeyEvent>
X11Keyboard::createKeyEvent(KeyEventSource*, std::uint16_t keyCode, bool keyDown) {
    return std::make_unique<X11KeyEvent>(keyCode, keyDown);
}

void X11Keyboard::post(SyntheticKeyEvent& event) {
    auto& key = static_cast<X11KeyEvent&>(event);
    std::lock_guard guard(mutex_);
    restoreDue_.reset(); // typing again: the spare keycodes stay as they are
    if (!key.units.empty()) {
        // The whole text goes with the key-down; the key-up has nothing left to type.
        if (key.keyDown) {
            type(key.units);
        }
        return;
    }
    auto code = X11KeyCodes::xKeyCode(key.keyCode);
    if (!code) {
        return;
    }
    if (key.keyDown) {
        pressModifiers(key.flags, true);
        ledger_->expect(*code, key.flags);
        pressKey(*code, true);
    } else {
        pressKey(*code, false);
        pressModifiers(key.flags, false);
    }
    XSync(display_.get(), False);
}

void X11Keyboard::pressModifiers(std::uint64_t flags, bool down) {
    for (const auto& [flag, code] : modifierKeyCodes_) {
        if (flags & flag) {
            pressKey(code, down);
        }
    }
}

void X11Keyboard::pressKey(unsigned keyCode, bool down) {
    XTestFakeKeyEvent(display_.get(), keyCode, down ? True : False, CurrentTime);
}

void X11Keyboard::type(std::u16string_view units) {
    for (char32_t character : codePoints(units)) {
        typeCharacter(character);
    }
    XSync(display_.get(), False);
}

void X11Keyboard::readLayout() {
    layoutRead_ = true;
    layout_.clear();
    Display* d = display_.get();
    XkbStateRec state{};
    if (XkbGetState(d, XkbUseCoreKbd, &state) != Success || state.group != 0) {
        return; // the core map's first group is not what the keys type now
    }
    const bool capsLock = (state.locked_mods & LockMask) != 0;
    int minimum = 0, maximum = 0;
    XDisplayKeycodes(d, &minimum, &maximum);
    int perKeycode = 0;
    KeySym* map =
        XGetKeyboardMapping(d, static_cast<KeyCode>(minimum), maximum - minimum + 1, &perKeycode);
    if (map == nullptr) {
        return;
    }
    const auto isSpare = [&](unsigned code) {
        return std::any_of(slots_.begin(), slots_.end(),
                           [code](const Slot& slot) { return slot.keyCode == code; });
    };
    for (int code = minimum; code <= maximum; ++code) {
        if (isSpare(static_cast<unsigned>(code))) {
            continue;
        }
        const KeySym* syms = map + static_cast<std::ptrdiff_t>(code - minimum) * perKeycode;
        for (int level = 0; level < std::min(perKeycode, 2); ++level) {
            KeySym sym = syms[level];
            if (level == 1 && sym == NoSymbol) {
                continue;
            }
            if (level == 0 && syms[1] == NoSymbol) {
                // A lone lower-case letter types its upper case with Shift.
                KeySym lower = 0, upper = 0;
                XConvertCase(sym, &lower, &upper);
                if (lower != upper && sym == lower) {
                    layout_.emplace(upper, LayoutKey{static_cast<unsigned>(code), true});
                }
            }
            if (sym == NoSymbol) {
                continue;
            }
            KeySym lower = 0, upper = 0;
            XConvertCase(sym, &lower, &upper);
            // Caps Lock turns letters round; such keys are left to the spares.
            if (capsLock && lower != upper) {
                continue;
            }
            layout_.emplace(sym, LayoutKey{static_cast<unsigned>(code), level == 1});
        }
    }
    XFree(map);
}

void X11Keyboard::typeCharacter(char32_t character) {
    const unsigned long keysym = X11KeyCodes::keysymFor(character);
    if (!layoutRead_) {
        readLayout();
    }
    const auto shiftCode = modifierKeyCodes_.find(Modifiers::shiftFlag);
    const bool canShift = shiftCode != modifierKeyCodes_.end();
    unsigned keyCode = 0;
    bool shift = false;
    Slot* slot = nullptr;
    if (auto key = layout_.find(keysym); key != layout_.end() && (!key->second.shift || canShift)) {
        keyCode = key->second.keyCode;
        shift = key->second.shift;
    } else {
        if (slots_.empty()) {
            return; // a layout without one free keycode: nothing can be typed
        }
        slot = &slotFor(keysym);
        if (slot->keysym != keysym) {
            mapSlot(*slot, keysym);
        }
        if (slot->level == 1 && !canShift) {
            return;
        }
        keyCode = slot->keyCode;
        shift = slot->level == 1;
    }
    if (shift) {
        // A shortcut may be Shift and a key: our Shift+key must not fire it.
        ledger_->expect(keyCode, Modifiers::shiftFlag);
        pressKey(shiftCode->second, true);
    }
    pressKey(keyCode, true);
    pressKey(keyCode, false);
    if (shift) {
        pressKey(shiftCode->second, false);
    }
    if (slot != nullptr) {
        slot->lastUsed = std::chrono::steady_clock::now();
    }
}

X11Keyboard::Slot& X11Keyboard::slotFor(unsigned long keysym) {
    auto mapped = std::find_if(slots_.begin(), slots_.end(),
                               [keysym](const Slot& s) { return s.keysym == keysym; });
    if (mapped != slots_.end()) {
        return *mapped;
    }
    return *std::min_element(slots_.begin(), slots_.end(),
                             [](const Slot& a, const Slot& b) { return a.lastUsed < b.lastUsed; });
}

void X11Keyboard::mapSlot(Slot& slot, unsigned long keysym) {
    const auto sinceUse = std::chrono::steady_clock::now() - slot.lastUsed;
    if (slot.keysym != 0 && sinceUse < remapSettle) {
        XSync(display_.get(), False);
        std::this_thread::sleep_for(remapSettle - sinceUse);
    }
    KeySym syms[2] = {NoSymbol, NoSymbol};
    for (const Slot& other : slots_) {
        if (other.keyCode == slot.keyCode && other.keysym != 0) {
            syms[other.level] = other.keysym;
        }
    }
    syms[slot.level] = keysym;
    // A plain place alone holds its keysym on both levels, so a Shift the
    // user presses meanwhile changes nothing.
    if (slot.level == 0 && syms[1] == NoSymbol) {
        syms[1] = keysym;
    }
    XChangeKeyboardMapping(display_.get(), static_cast<int>(slot.keyCode), 2, syms, 1);
    XSync(display_.get(), False);
    slot.keysym = keysym;
    writeRemapRecord();
}

void X11Keyboard::injectionFinished() {
    {
        std::lock_guard guard(mutex_);
        layoutRead_ = false; // the user may switch layouts before the next one
        restoreDue_ = std::chrono::steady_clock::now() + restoreGrace;
    }
    restoreChanged_.notify_all();
}

void X11Keyboard::restoreLayout() {
    KeySym empty[2] = {NoSymbol, NoSymbol};
    std::vector<unsigned> emptied;
    for (Slot& slot : slots_) {
        if (slot.keysym != 0) {
            if (std::find(emptied.begin(), emptied.end(), slot.keyCode) == emptied.end()) {
                XChangeKeyboardMapping(display_.get(), static_cast<int>(slot.keyCode), 2, empty, 1);
                emptied.push_back(slot.keyCode);
            }
            slot.keysym = 0;
        }
    }
    if (!emptied.empty()) {
        XSync(display_.get(), False);
    }
    if (!remapRecord_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(remapRecord_, ignored);
    }
}

// One "keycode keysym" line per mapped spare. Without the record (no writable
// folder) a crash leaves the spares mapped until the X server restarts:
// nothing the user could act on, so it is not reported.
void X11Keyboard::writeRemapRecord() {
    if (remapRecord_.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::create_directories(remapRecord_.parent_path(), ignored);
    std::ofstream out(remapRecord_, std::ios::trunc);
    for (const Slot& slot : slots_) {
        if (slot.keysym != 0) {
            out << slot.keyCode << ' ' << slot.keysym << '\n';
        }
    }
}

// Only keycodes that still hold what we put there: whatever else the user's
// own tools mapped since stays.
void X11Keyboard::undoRecordedRemaps() {
    if (remapRecord_.empty()) {
        return;
    }
    std::ifstream in(remapRecord_);
    if (!in) {
        return;
    }
    Display* d = display_.get();
    int minimum = 0, maximum = 0;
    XDisplayKeycodes(d, &minimum, &maximum);
    unsigned code = 0;
    unsigned long keysym = 0;
    while (in >> code >> keysym) {
        if (code < static_cast<unsigned>(minimum) || code > static_cast<unsigned>(maximum)) {
            continue;
        }
        int perKeycode = 0;
        KeySym* syms = XGetKeyboardMapping(d, static_cast<KeyCode>(code), 1, &perKeycode);
        if (syms == nullptr) {
            continue;
        }
        const bool ours = perKeycode >= 1 && syms[0] == keysym;
        XFree(syms);
        if (ours) {
            KeySym empty[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(d, static_cast<int>(code), 2, empty, 1);
        }
    }
    XSync(d, False);
    std::error_code ignored;
    std::filesystem::remove(remapRecord_, ignored);
}

bool X11Keyboard::isKeyDown(std::uint16_t keyCode) {
    const std::optional<MainKey> key = MainKeys::fromKeyCode(keyCode);
    std::vector<unsigned> codes;
    if (key) {
        codes = X11KeyCodes::xKeyCodes(*key);
    } else if (auto code = X11KeyCodes::xKeyCode(keyCode)) {
        codes.push_back(*code);
    }
    std::lock_guard guard(mutex_);
    char keys[32] = {};
    XQueryKeymap(display_.get(), keys);
    return std::any_of(codes.begin(), codes.end(), [&](unsigned code) {
        return code < 256 && (keys[code / 8] & (1 << (code % 8))) != 0;
    });
}

std::uint64_t X11Keyboard::combinedModifierFlags() {
    std::lock_guard guard(mutex_);
    Display* d = display_.get();
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &mask);
    return X11KeyCodes::eventFlags(mask);
}

} // namespace tamsel
