#include "platform/fake/FakeKeyboard.h"

#include "core/toolkit/TextToolkit.h"

namespace tamsel {

namespace {

struct FakeSource final : KeyEventSource {};

struct FakeKeyEvent final : SyntheticKeyEvent {
    std::uint16_t keyCode = 0;
    bool keyDown = true;
    bool fromPrivateSource = false;
    std::uint64_t flags = 0;
    std::u16string unicode;
    std::int64_t userData = 0;

    void setFlags(std::uint64_t value) override { flags = value; }
    void setUnicodeString(std::u16string_view units) override { unicode = units; }
    void setSourceUserData(std::int64_t value) override { userData = value; }
};

std::string utf8(const std::u16string& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        TextToolkit::appendUtf8(out, c);
    }
    return out;
}

} // namespace

FakeKeyboard::FakeKeyboard(std::shared_ptr<Timeline> timeline) : timeline_(std::move(timeline)) {}

std::unique_ptr<KeyEventSource> FakeKeyboard::createPrivateSource() {
    std::lock_guard guard(mutex_);
    if (failSource_) {
        return nullptr;
    }
    return std::make_unique<FakeSource>();
}

std::unique_ptr<SyntheticKeyEvent>
FakeKeyboard::createKeyEvent(KeyEventSource* source, std::uint16_t keyCode, bool keyDown) {
    const Clock::Duration now = timeline_->clock()->now();
    std::lock_guard guard(mutex_);
    if (failingKeyCodes_.contains(keyCode)) {
        return nullptr;
    }
    auto event = std::make_unique<FakeKeyEvent>();
    event->keyCode = keyCode;
    event->keyDown = keyDown;
    event->fromPrivateSource = source != nullptr;
    // Like the real thing, a new event starts out with whatever is held, so
    // flags that are never set show up in the timeline.
    event->flags = heldFlagsAt(now);
    return event;
}

void FakeKeyboard::post(SyntheticKeyEvent& event) {
    auto& fake = static_cast<FakeKeyEvent&>(event);
    TimelineEntry entry;
    entry.kind = fake.keyDown ? TimelineEntry::Kind::keyDown : TimelineEntry::Kind::keyUp;
    entry.keyCode = fake.keyCode;
    entry.flags = fake.flags;
    entry.unicodeText = utf8(fake.unicode);
    entry.marker = fake.userData;
    entry.fromPrivateSource = fake.fromPrivateSource;
    timeline_->record(std::move(entry));
}

std::uint64_t FakeKeyboard::combinedModifierFlags() {
    const Clock::Duration now = timeline_->clock()->now();
    std::lock_guard guard(mutex_);
    ++modifierReads_;
    return heldFlagsAt(now);
}

std::uint64_t FakeKeyboard::heldFlagsAt(Clock::Duration now) const {
    return releaseTime_ && now >= *releaseTime_ ? 0 : heldFlags_;
}

void FakeKeyboard::holdModifiers(std::uint64_t flags, std::optional<Clock::Duration> releaseTime) {
    std::lock_guard guard(mutex_);
    heldFlags_ = flags;
    releaseTime_ = releaseTime;
}

void FakeKeyboard::setUntypableCharacters(std::string characters) {
    std::lock_guard lock(mutex_);
    untypable_.clear();
    for (std::size_t offset = 0; offset < characters.size();) {
        untypable_.insert(TextToolkit::decodeAt(characters, offset));
    }
}

std::string FakeKeyboard::lastTypeabilityQuestion() const {
    std::lock_guard lock(mutex_);
    return lastTypeabilityQuestion_;
}

bool FakeKeyboard::canType(std::string_view text) {
    std::lock_guard lock(mutex_);
    lastTypeabilityQuestion_ = text;
    for (std::size_t offset = 0; offset < text.size();) {
        if (untypable_.count(TextToolkit::decodeAt(text, offset)) > 0) {
            return false;
        }
    }
    return true;
}

bool FakeKeyboard::isKeyDown(std::uint16_t keyCode) {
    const Clock::Duration now = timeline_->clock()->now();
    std::lock_guard guard(mutex_);
    auto held = heldKeys_.find(keyCode);
    return held != heldKeys_.end() && (!held->second || now < *held->second);
}

void FakeKeyboard::holdKey(std::uint16_t keyCode, std::optional<Clock::Duration> releaseTime) {
    std::lock_guard guard(mutex_);
    heldKeys_[keyCode] = releaseTime;
}

void FakeKeyboard::failSourceCreation(bool fail) {
    std::lock_guard guard(mutex_);
    failSource_ = fail;
}

void FakeKeyboard::failEventCreation(std::uint16_t keyCode) {
    std::lock_guard guard(mutex_);
    failingKeyCodes_.insert(keyCode);
}

std::size_t FakeKeyboard::modifierReads() const {
    std::lock_guard guard(mutex_);
    return modifierReads_;
}

} // namespace tamsel
