#pragma once

// Keyboard events posted into a timeline instead of the system, and a
// scripted state of the real modifier keys.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/KeyboardEvents.h"
#include "platform/fake/Timeline.h"

namespace tamsel {

class FakeKeyboard final : public KeyboardEvents {
public:
    explicit FakeKeyboard(std::shared_ptr<Timeline> timeline);

    std::unique_ptr<KeyEventSource> createPrivateSource() override;
    std::unique_ptr<SyntheticKeyEvent> createKeyEvent(KeyEventSource* source, std::uint16_t keyCode,
                                                      bool keyDown) override;
    void post(SyntheticKeyEvent& event) override;
    std::uint64_t combinedModifierFlags() override;
    bool isKeyDown(std::uint16_t keyCode) override;
    std::size_t unicodeStringLimit() const override { return unicodeStringLimit_; }
    bool canType(std::string_view text) override;

    // The user holds `flags` until the virtual clock reaches `releaseTime`
    // (for ever without one).
    void holdModifiers(std::uint64_t flags, std::optional<Clock::Duration> releaseTime);
    // The same for one key, by virtual key code.
    void holdKey(std::uint16_t keyCode, std::optional<Clock::Duration> releaseTime);
    // Before the keyboard is in use.
    void setUnicodeStringLimit(std::size_t limit) { unicodeStringLimit_ = limit; }
    // Characters (UTF-8) the layout lacks, as a desktop typing by keysym
    // would; what canType() was last asked.
    void setUntypableCharacters(std::string characters);
    std::string lastTypeabilityQuestion() const;
    void failSourceCreation(bool fail);
    void failEventCreation(std::uint16_t keyCode);
    std::size_t modifierReads() const;

private:
    std::uint64_t heldFlagsAt(Clock::Duration now) const; // requires mutex_

    std::shared_ptr<Timeline> timeline_;
    mutable std::mutex mutex_;
    std::uint64_t heldFlags_ = 0;
    std::optional<Clock::Duration> releaseTime_;
    std::map<std::uint16_t, std::optional<Clock::Duration>> heldKeys_;
    bool failSource_ = false;
    std::set<std::uint16_t> failingKeyCodes_;
    std::size_t modifierReads_ = 0;
    std::size_t unicodeStringLimit_ = defaultUnicodeStringLimit;
    std::set<char32_t> untypable_;
    std::string lastTypeabilityQuestion_;
};

} // namespace tamsel
