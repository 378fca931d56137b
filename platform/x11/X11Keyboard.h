#pragma once

// Synthesised keys through XTest on a connection of the injector's own.
//
// XTest presses keycodes, not characters. A character the active layout has
// (on its first group, with or without Shift) is typed on its own key; any
// other is typed on a spare keycode (one the layout leaves empty) mapped to
// it. A text is planned whole (SpareKeyPlan): it is typed in runs that need
// no more characters than there are spares, every spare a run needs is mapped
// before its first key, and the only wait is before a run that remaps, for
// the keys before it to be read. The spares are emptied again a while after
// the injection ends, and on destruction.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/KeyboardEvents.h"
#include "platform/x11/SpareKeyPlan.h"
#include "platform/x11/SyntheticKeyLedger.h"
#include "platform/x11/X11Handle.h"

namespace tamsel {

class X11Keyboard final : public KeyboardEvents {
public:
    // No value, and the reason in `error`, without a display or without XTest.
    // `remapRecord` lists the spare keycodes mapped now, so that a start after
    // a crash can empty those the crash left behind.
    static std::shared_ptr<X11Keyboard> create(std::shared_ptr<SyntheticKeyLedger> ledger,
                                               std::string& error,
                                               std::filesystem::path remapRecord);
    // In $XDG_RUNTIME_DIR (or ~/.cache), one per display.
    static std::filesystem::path defaultRemapRecord();
    ~X11Keyboard() override;

    std::unique_ptr<KeyEventSource> createPrivateSource() override;
    std::unique_ptr<SyntheticKeyEvent> createKeyEvent(KeyEventSource* source, std::uint16_t keyCode,
                                                      bool keyDown) override;
    void post(SyntheticKeyEvent& event) override;
    std::uint64_t combinedModifierFlags() override;
    bool isKeyDown(std::uint16_t keyCode) override;
    void injectionFinished() override;
    std::size_t unicodeStringLimit() const override { return 0; } // planned whole

    X11Keyboard(DisplayHandle display, std::shared_ptr<SyntheticKeyLedger> ledger,
                std::filesystem::path remapRecord); // use create()

private:
    // A spare keycode and the character it holds now (0: empty, as the
    // layout left it). Only the plain level is used: clients do not all
    // follow a key's type when it changes to two levels.
    struct Slot {
        unsigned keyCode = 0;
        unsigned long keysym = 0;
    };
    struct LayoutKey {
        unsigned keyCode = 0;
        bool shift = false;
    };

    void pressModifiers(std::uint64_t flags, bool down);
    void pressKey(unsigned keyCode, bool down);
    void type(std::u16string_view units);
    void typeOn(unsigned keyCode, bool shift);
    void readLayout(); // requires mutex_
    void remap(const std::vector<SpareKeyPlan::Remap>& remaps);
    void waitForKeysToBeRead();
    void keysSent();
    void restorerMain();
    void restoreLayout(); // requires mutex_
    void undoRecordedRemaps();
    void writeRemapRecord(); // requires mutex_

    std::mutex mutex_;
    DisplayHandle display_;
    std::shared_ptr<SyntheticKeyLedger> ledger_;
    std::filesystem::path remapRecord_;
    std::vector<Slot> slots_;
    // What the layout types, read once per injection; empty while it cannot
    // be trusted (another group active).
    std::map<unsigned long, LayoutKey> layout_;
    bool layoutRead_ = false;
    std::map<std::uint64_t, unsigned> modifierKeyCodes_;
    // Keys pressed since the spares last changed, and when the last of them
    // reached the server: what a remap waits for.
    std::size_t keysSinceRemap_ = 0;
    std::chrono::steady_clock::time_point lastKeyAt_{};
    // The spare keycodes are emptied a while after the last injection: a
    // busy client reads the keymap only when it gets to the key.
    std::condition_variable restoreChanged_;
    std::optional<std::chrono::steady_clock::time_point> restoreDue_;
    bool stopping_ = false;
    std::thread restorer_;
};

} // namespace tamsel
