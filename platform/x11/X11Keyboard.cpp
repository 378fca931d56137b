#include "platform/x11/X11Keyboard.h"

#include <algorithm>
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
// spare keycode is given a new keysym only after its last key had time to land.
constexpr auto remapSettle = std::chrono::milliseconds(150);
constexpr auto restoreGrace = std::chrono::milliseconds(1000);

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

std::shared_ptr<X11Keyboard> X11Keyboard::create(std::shared_ptr<SyntheticKeyLedger> ledger,
                                                 std::string& error) {
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
        return std::make_shared<X11Keyboard>(std::move(opened.display), std::move(ledger));
    } catch (const std::system_error&) {
        error = "Cannot start the keyboard's helper thread.";
        return nullptr;
    }
}

X11Keyboard::X11Keyboard(DisplayHandle display, std::shared_ptr<SyntheticKeyLedger> ledger)
    : display_(std::move(display)), ledger_(std::move(ledger)) {
    Display* d = display_.get();
    // Our keys must not wait behind a grab of our own connection's making.
    XTestGrabControl(d, True);
    int minimum = 0, maximum = 0;
    XDisplayKeycodes(d, &minimum, &maximum);
    int perKeycode = 0;
    KeySym* map =
        XGetKeyboardMapping(d, static_cast<KeyCode>(minimum), maximum - minimum + 1, &perKeycode);
    if (map != nullptr) {
        // From the top: low keycodes are real keys on most keyboards.
        for (int code = maximum; code >= minimum && spares_.size() < maximumSpares; --code) {
            const KeySym* syms = map + static_cast<std::ptrdiff_t>(code - minimum) * perKeycode;
            if (std::all_of(syms, syms + perKeycode, [](KeySym s) { return s == NoSymbol; })) {
                spares_.push_back({static_cast<unsigned>(code), 0, {}});
            }
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

void X11Keyboard::typeCharacter(char32_t character) {
    if (spares_.empty()) {
        return; // a layout without one free keycode: nothing can be typed
    }
    const unsigned long keysym = X11KeyCodes::keysymFor(character);
    Spare& spare = spareFor(keysym);
    if (spare.keysym != keysym) {
        mapSpare(spare, keysym);
    }
    // Unmodified keys on keycodes no shortcut names: the ledger is not needed.
    pressKey(spare.keyCode, true);
    pressKey(spare.keyCode, false);
    spare.lastUsed = std::chrono::steady_clock::now();
}

X11Keyboard::Spare& X11Keyboard::spareFor(unsigned long keysym) {
    auto mapped = std::find_if(spares_.begin(), spares_.end(),
                               [keysym](const Spare& s) { return s.keysym == keysym; });
    if (mapped != spares_.end()) {
        return *mapped;
    }
    return *std::min_element(spares_.begin(), spares_.end(), [](const Spare& a, const Spare& b) {
        return a.lastUsed < b.lastUsed;
    });
}

void X11Keyboard::mapSpare(Spare& spare, unsigned long keysym) {
    const auto sinceUse = std::chrono::steady_clock::now() - spare.lastUsed;
    if (spare.keysym != 0 && sinceUse < remapSettle) {
        XSync(display_.get(), False);
        std::this_thread::sleep_for(remapSettle - sinceUse);
    }
    // The same keysym with and without Shift, so a held Shift changes nothing.
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_.get(), static_cast<int>(spare.keyCode), 2, syms, 1);
    XSync(display_.get(), False);
    spare.keysym = keysym;
}

void X11Keyboard::injectionFinished() {
    {
        std::lock_guard guard(mutex_);
        restoreDue_ = std::chrono::steady_clock::now() + restoreGrace;
    }
    restoreChanged_.notify_all();
}

void X11Keyboard::restoreLayout() {
    KeySym empty[2] = {NoSymbol, NoSymbol};
    bool changed = false;
    for (Spare& spare : spares_) {
        if (spare.keysym != 0) {
            XChangeKeyboardMapping(display_.get(), static_cast<int>(spare.keyCode), 2, empty, 1);
            spare.keysym = 0;
            changed = true;
        }
    }
    if (changed) {
        XSync(display_.get(), False);
    }
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
