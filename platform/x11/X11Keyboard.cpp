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
// Before the spares change, the keys sent since their last change must have
// been looked up: a client that is still at them when the change arrives
// notes it in the middle of its refetch, forgets it, and keeps the old
// character on that key. No client says when it has read its keys, so this is
// a measured guess (st, xterm and a Qt terminal under Xvfb), with margin.
constexpr auto readPause = std::chrono::milliseconds(60);
constexpr auto readPausePerKey = std::chrono::milliseconds(2);
constexpr auto longestReadPause = std::chrono::milliseconds(500);
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
        for (unsigned code : spares) {
            slots_.push_back({code, 0});
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
    keysSent();
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
    if (down) {
        ++keysSinceRemap_;
    }
}

// After a sync: the keys pressed so far are at the server.
void X11Keyboard::keysSent() {
    lastKeyAt_ = std::chrono::steady_clock::now();
}

void X11Keyboard::type(std::u16string_view units) {
    if (!layoutRead_) {
        readLayout();
    }
    const bool canShift = modifierKeyCodes_.count(Modifiers::shiftFlag) != 0;
    const std::vector<char32_t> characters = codePoints(units);
    // Per character: its key on the layout, or else the keysym a spare must hold.
    std::vector<std::optional<LayoutKey>> onLayout(characters.size());
    std::vector<unsigned long> onSpare(characters.size(), 0);
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const unsigned long keysym = X11KeyCodes::keysymFor(characters[i]);
        if (auto key = layout_.find(keysym);
            key != layout_.end() && (!key->second.shift || canShift)) {
            onLayout[i] = key->second;
        } else {
            onSpare[i] = keysym;
        }
    }
    std::vector<unsigned long> holding;
    for (const Slot& slot : slots_) {
        holding.push_back(slot.keysym);
    }
    std::size_t begin = 0;
    for (const SpareKeyPlan::Run& run : SpareKeyPlan::make(onSpare, std::move(holding))) {
        if (!run.remaps.empty()) {
            remap(run.remaps);
        }
        for (std::size_t i = begin; i < run.end; ++i) {
            if (onLayout[i]) {
                typeOn(onLayout[i]->keyCode, onLayout[i]->shift);
                continue;
            }
            // Without any spare the character cannot be typed at all.
            auto slot = std::find_if(slots_.begin(), slots_.end(),
                                     [&](const Slot& s) { return s.keysym == onSpare[i]; });
            if (slot != slots_.end()) {
                typeOn(slot->keyCode, false);
            }
        }
        XSync(display_.get(), False);
        keysSent();
        begin = run.end;
    }
}

void X11Keyboard::typeOn(unsigned keyCode, bool shift) {
    const unsigned shiftCode = shift ? modifierKeyCodes_.at(Modifiers::shiftFlag) : 0;
    if (shift) {
        // A shortcut may be Shift and a key: our Shift+key must not fire it.
        ledger_->expect(keyCode, Modifiers::shiftFlag);
        pressKey(shiftCode, true);
    }
    pressKey(keyCode, true);
    pressKey(keyCode, false);
    if (shift) {
        pressKey(shiftCode, false);
    }
}

void X11Keyboard::waitForKeysToBeRead() {
    if (keysSinceRemap_ == 0) {
        return;
    }
    XSync(display_.get(), False);
    const auto pause = std::min(readPause + readPausePerKey * static_cast<long>(keysSinceRemap_),
                                longestReadPause);
    std::this_thread::sleep_until(lastKeyAt_ + pause);
}

// All together, before the run's first key: a client then sees every change
// before any key that needs one, and refetches them all at that key.
void X11Keyboard::remap(const std::vector<SpareKeyPlan::Remap>& remaps) {
    waitForKeysToBeRead();
    for (const SpareKeyPlan::Remap& change : remaps) {
        Slot& slot = slots_[change.spare];
        // The character on both levels, so that a Shift the user presses
        // meanwhile changes nothing.
        KeySym syms[2] = {change.keysym, change.keysym};
        XChangeKeyboardMapping(display_.get(), static_cast<int>(slot.keyCode), 2, syms, 1);
        slot.keysym = change.keysym;
    }
    XSync(display_.get(), False);
    keysSinceRemap_ = 0;
    writeRemapRecord();
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
    bool emptied = false;
    for (Slot& slot : slots_) {
        if (slot.keysym != 0) {
            XChangeKeyboardMapping(display_.get(), static_cast<int>(slot.keyCode), 2, empty, 1);
            slot.keysym = 0;
            emptied = true;
        }
    }
    if (emptied) {
        XSync(display_.get(), False);
        keysSinceRemap_ = 0;
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
