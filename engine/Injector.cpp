#include "engine/Injector.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "core/toolkit/TextToolkit.h"
#include "engine/EventTapController.h"
#include "engine/InjectionText.h"
#include "engine/PasteboardSnapshot.h"
#include "platform/Threads.h"

namespace tamsel {

namespace {

constexpr std::uint64_t heldModifierMask =
    Modifiers::shiftFlag | Modifiers::controlFlag | Modifiers::optionFlag | Modifiers::commandFlag;
constexpr auto modifierWaitLimit = std::chrono::seconds(1);
constexpr auto modifierPollInterval = std::chrono::microseconds(5000);
constexpr auto typingGap = std::chrono::microseconds(1500);
constexpr std::int64_t minimumPasteSettleMS = 60;
constexpr std::int64_t restoreDelayMS = 40;
constexpr auto readTimeout = std::chrono::milliseconds(1000);

std::u16string utf16(std::string_view text) {
    std::u16string units;
    units.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        char32_t c = TextToolkit::decodeAt(text, offset);
        if (c >= 0x10000) {
            c -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (c >> 10));
            units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    }
    return units;
}

} // namespace

Injector::Injector(std::shared_ptr<KeyboardEvents> keyboard,
                   std::vector<std::shared_ptr<Pasteboard>> pasteboards,
                   std::shared_ptr<Clock> clock, Keystroke pasteKeystroke)
    : keyboard_(std::move(keyboard)), pasteboards_(std::move(pasteboards)),
      clock_(std::move(clock)), pasteKeystroke_(pasteKeystroke),
      eventSource_(keyboard_->createPrivateSource()) {
    try {
        worker_ = std::thread([this] { workerMain(); });
    } catch (const std::system_error&) {
        // Without a worker nothing can be injected; perform() drops its work.
    }
}

Injector::~Injector() {
    {
        std::lock_guard guard(mutex_);
        shuttingDown_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    idle_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void Injector::perform(const Rule& rule, TriggerKind kind, const Config& config) {
    std::string payload = rule.payload();
    if (payload.empty()) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        if (!worker_.joinable() || shuttingDown_) {
            return;
        }
        queue_.push_back(WorkItem{std::move(payload), kind, config.injectionMethod,
                                  config.preDelayMS, config.postDelayMS});
    }
    wake_.notify_one();
}

void Injector::waitUntilIdle() {
    std::unique_lock guard(mutex_);
    idle_.wait(guard, [this] { return shuttingDown_ || (queue_.empty() && !busy_); });
}

void Injector::workerMain() {
    configureCurrentThread("tamsel.injector", ThreadQuality::userInitiated);
    std::unique_lock guard(mutex_);
    while (true) {
        wake_.wait(guard, [this] { return shuttingDown_ || !queue_.empty(); });
        if (shuttingDown_) {
            return;
        }
        WorkItem item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        guard.unlock();
        inject(item);
        guard.lock();
        busy_ = false;
        if (queue_.empty()) {
            idle_.notify_all();
        }
    }
}

void Injector::inject(const WorkItem& item) {
    waitForModifierRelease();
    if (item.preDelayMS >= 1) {
        sleepMilliseconds(item.preDelayMS);
    }
    if (item.method == InjectionMethod::type) {
        type(item);
    } else {
        paste(item);
    }
    keyboard_->injectionFinished();
}

// The shortcut's own modifiers would otherwise turn the paste or Return into
// another shortcut; after a second we go ahead anyway.
void Injector::waitForModifierRelease() {
    const Clock::Duration deadline = clock_->now() + modifierWaitLimit;
    while (clock_->now() < deadline) {
        if ((keyboard_->combinedModifierFlags() & heldModifierMask) == 0) {
            return;
        }
        clock_->sleepFor(modifierPollInterval);
    }
}

void Injector::paste(const WorkItem& item) {
    std::vector<PasteboardSnapshot> saved;
    saved.reserve(pasteboards_.size());
    for (const auto& pasteboard : pasteboards_) {
        saved.push_back(PasteboardSnapshot::capture(*pasteboard));
        pasteboard->clearContents();
        pasteboard->setString(item.payload);
    }
    postKey(pasteKeystroke_.keyCode, pasteKeystroke_.flags);
    // The application reads the pasteboard some time after the keystroke.
    sleepMilliseconds(std::max(item.postDelayMS, minimumPasteSettleMS));
    if (item.kind == TriggerKind::send) {
        postKey(returnKeyCode, 0);
    }
    sleepMilliseconds(restoreDelayMS);
    // Giving the old contents back before the application has read ours
    // would paste the old contents.
    for (const auto& pasteboard : pasteboards_) {
        pasteboard->waitUntilRead(readTimeout);
    }
    for (std::size_t i = 0; i < pasteboards_.size(); ++i) {
        // What the user copied meanwhile is newer than what we saved.
        if (pasteboards_[i]->holdsWrittenContents()) {
            saved[i].restore(*pasteboards_[i]);
        }
    }
}

void Injector::type(const WorkItem& item) {
    const std::string flat = InjectionText::flattenForTyping(item.payload);
    for (const std::string& piece :
         InjectionText::chunks(flat, static_cast<std::ptrdiff_t>(typingChunkSize))) {
        postUnicode(piece);
        clock_->sleepFor(typingGap);
    }
    if (item.kind == TriggerKind::send) {
        if (item.postDelayMS > 0) {
            sleepMilliseconds(item.postDelayMS);
        }
        postKey(returnKeyCode, 0);
    }
}

void Injector::postKey(std::uint16_t keyCode, std::uint64_t flags) {
    auto down = keyboard_->createKeyEvent(eventSource_.get(), keyCode, true);
    auto up = keyboard_->createKeyEvent(eventSource_.get(), keyCode, false);
    if (!down || !up) {
        return;
    }
    down->setFlags(flags);
    up->setFlags(flags);
    for (SyntheticKeyEvent* event : {down.get(), up.get()}) {
        event->setSourceUserData(EventTapController::syntheticEventMarker);
        keyboard_->post(*event);
    }
}

void Injector::postUnicode(std::string_view text) {
    const std::u16string units = utf16(text);
    if (units.empty()) {
        return;
    }
    auto down = keyboard_->createKeyEvent(eventSource_.get(), unicodeKeyCode, true);
    auto up = keyboard_->createKeyEvent(eventSource_.get(), unicodeKeyCode, false);
    if (!down || !up) {
        return;
    }
    for (SyntheticKeyEvent* event : {down.get(), up.get()}) {
        event->setFlags(0);
        event->setUnicodeString(units);
        event->setSourceUserData(EventTapController::syntheticEventMarker);
        keyboard_->post(*event);
    }
}

void Injector::sleepMilliseconds(std::int64_t milliseconds) {
    clock_->sleepFor(std::chrono::milliseconds(milliseconds));
}

} // namespace tamsel
