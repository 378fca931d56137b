#pragma once

// Synthesised keys through XTest on a connection of the injector's own.
//
// XTest presses keycodes, not characters, so text is typed by mapping spare
// keycodes (those the layout leaves empty) to each character's keysym: any
// layout, Japanese and emoji included. The spare keycodes are emptied again
// shortly after the injection ends.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/KeyboardEvents.h"
#include "platform/x11/SyntheticKeyLedger.h"
#include "platform/x11/X11Handle.h"

namespace tamsel {

class X11Keyboard final : public KeyboardEvents {
public:
    // No value, and the reason in `error`, without a display or without XTest.
    static std::shared_ptr<X11Keyboard> create(std::shared_ptr<SyntheticKeyLedger> ledger,
                                               std::string& error);
    ~X11Keyboard() override;

    std::unique_ptr<KeyEventSource> createPrivateSource() override;
    std::unique_ptr<SyntheticKeyEvent> createKeyEvent(KeyEventSource* source, std::uint16_t keyCode,
                                                      bool keyDown) override;
    void post(SyntheticKeyEvent& event) override;
    std::uint64_t combinedModifierFlags() override;
    bool isKeyDown(std::uint16_t keyCode) override;
    void injectionFinished() override;

    X11Keyboard(DisplayHandle display, std::shared_ptr<SyntheticKeyLedger> ledger); // use create()

private:
    struct Spare {
        unsigned keyCode = 0;
        unsigned long keysym = 0; // 0: empty, as the layout left it
        std::chrono::steady_clock::time_point lastUsed{};
    };

    void pressModifiers(std::uint64_t flags, bool down);
    void pressKey(unsigned keyCode, bool down);
    void type(std::u16string_view units);
    void typeCharacter(char32_t character);
    Spare& spareFor(unsigned long keysym);
    void mapSpare(Spare& spare, unsigned long keysym);
    void restorerMain();
    void restoreLayout(); // requires mutex_

    std::mutex mutex_;
    DisplayHandle display_;
    std::shared_ptr<SyntheticKeyLedger> ledger_;
    std::vector<Spare> spares_;
    std::map<std::uint64_t, unsigned> modifierKeyCodes_;
    // The spare keycodes are emptied a while after the last injection: a
    // busy client reads the keymap only when it gets to the key.
    std::condition_variable restoreChanged_;
    std::optional<std::chrono::steady_clock::time_point> restoreDue_;
    bool stopping_ = false;
    std::thread restorer_;
};

} // namespace tamsel
