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
constexpr auto keyPollInterval = std::chrono::microseconds(5000);
constexpr auto readPollInterval = std::chrono::microseconds(2000);
constexpr auto typingGap = std::chrono::microseconds(1500);
constexpr std::int64_t minimumPasteSettleMS = 60;
constexpr std::int64_t restoreDelayMS = 40;

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
                   std::shared_ptr<Clock> clock, Keystroke pasteKeystroke,
                   std::shared_ptr<FrontWindowProbe> frontWindow)
    : keyboard_(std::move(keyboard)), pasteboards_(std::move(pasteboards)),
      clock_(std::move(clock)), pasteKeystroke_(pasteKeystroke),
      frontWindow_(std::move(frontWindow)), eventSource_(keyboard_->createPrivateSource()) {
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

void Injector::perform(const Rule& rule, TriggerKind kind, const Config& config,
                       const FrontWindow& target) {
    std::string payload = rule.payload();
    if (payload.empty()) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        if (!worker_.joinable() || shuttingDown_) {
            return;
        }
        WorkItem item;
        item.payload = std::move(payload);
        item.kind = kind;
        item.method = config.injectionMethod;
        item.preDelayMS = config.preDelayMS;
        item.postDelayMS = config.postDelayMS;
        if (auto hotkey = rule.hotkeyFor(kind)) {
            item.triggerKeyCode = MainKeys::keyCode(hotkey->key);
        }
        item.targetWindow = target.id;
        item.plainPaste = target.applicationID &&
                          std::find(plainPasteApplications_.begin(), plainPasteApplications_.end(),
                                    *target.applicationID) != plainPasteApplications_.end();
        item.targets.targetBundleIDs = config.targetBundleIDs;
        queue_.push_back(std::move(item));
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
    if (!waitForKeysUp(item)) {
        report(InjectionProblem::keysStillHeld);
        return;
    }
    if (item.preDelayMS >= 1) {
        sleepMilliseconds(item.preDelayMS);
    }
    // Without any clipboard the paste key would paste whatever the user
    // copied last, not the prompt: type it instead.
    const bool canPaste =
        std::any_of(pasteboards_.begin(), pasteboards_.end(),
                    [](const auto& pasteboard) { return pasteboard->available(); });
    const bool typing = item.method == InjectionMethod::type || !canPaste;
    if (!typing) {
        paste(item);
    } else if (keyboard_->canType(InjectionText::flattenForTyping(item.payload))) {
        type(item);
    } else if (!canPaste) {
        report(InjectionProblem::charactersNotTypeable);
    } else {
        report(InjectionProblem::pastedInsteadOfTyped);
        paste(item);
    }
    keyboard_->injectionFinished();
}

// While a key of the shortcut is down our own grab may still hold the
// keyboard (under X11 it lasts until the trigger key goes up), and a held
// Control would turn typed letters into control characters: nothing may be
// posted before every key is up. Past the limit the firing is dropped.
bool Injector::waitForKeysUp(const WorkItem& item) {
    const Clock::Duration deadline = clock_->now() + heldKeysWaitLimit;
    while (true) {
        const bool modifiersUp = (keyboard_->combinedModifierFlags() & heldModifierMask) == 0;
        if (modifiersUp && !(item.triggerKeyCode && keyboard_->isKeyDown(*item.triggerKeyCode))) {
            return true;
        }
        if (clock_->now() >= deadline) {
            return false;
        }
        clock_->sleepFor(keyPollInterval);
    }
}

// Asked again right before a key goes out: a key meant for the window the
// shortcut was pressed in must never land in another one.
bool Injector::stillTargeted(const WorkItem& item) {
    if (!frontWindow_ || item.targetWindow == 0) {
        return true;
    }
    const std::optional<FrontWindow> front = frontWindow_->frontWindow();
    if (!front || front->id != item.targetWindow) {
        return false;
    }
    std::optional<std::string_view> application;
    if (front->applicationID) {
        application = *front->applicationID;
    }
    return item.targets.isTargeted(application);
}

bool Injector::waitForPasteRead(Clock::Duration deadline) {
    while (true) {
        if (std::any_of(pasteboards_.begin(), pasteboards_.end(),
                        [](const auto& pasteboard) { return pasteboard->readAsExpected(); })) {
            return true;
        }
        if (clock_->now() >= deadline) {
            return false;
        }
        clock_->sleepFor(readPollInterval);
    }
}

void Injector::report(InjectionProblem problem) {
    if (onProblem_) {
        onProblem_(problem);
    }
}

void Injector::paste(const WorkItem& item) {
    std::vector<PasteboardSnapshot> saved;
    saved.reserve(pasteboards_.size());
    for (const auto& pasteboard : pasteboards_) {
        saved.push_back(PasteboardSnapshot::capture(*pasteboard));
    }
    if (!stillTargeted(item)) {
        report(InjectionProblem::targetLeft);
        return;
    }
    const std::string text =
        item.plainPaste ? InjectionText::withoutControlCharacters(item.payload) : item.payload;
    for (const auto& pasteboard : pasteboards_) {
        pasteboard->offerTemporaryText(text);
        pasteboard->expectReadBy(item.targetWindow);
    }
    // Capturing may have taken a while.
    const bool targeted = stillTargeted(item);
    if (targeted) {
        postKey(pasteKeystroke_.keyCode, pasteKeystroke_.flags);
        const Clock::Duration pasted = clock_->now();
        // Return before the application has the text would send the message
        // without the prompt.
        const bool read = waitForPasteRead(pasted + pasteReadLimit);
        const Clock::Duration settled =
            pasted + std::chrono::milliseconds(std::max(item.postDelayMS, minimumPasteSettleMS));
        if (const Clock::Duration now = clock_->now(); now < settled) {
            clock_->sleepFor(settled - now);
        }
        if (!read) {
            report(InjectionProblem::pasteNotRead);
        } else if (item.kind == TriggerKind::send) {
            if (stillTargeted(item)) {
                postKey(returnKeyCode, 0);
            } else {
                report(InjectionProblem::targetLeft);
            }
        }
        sleepMilliseconds(restoreDelayMS);
    } else {
        report(InjectionProblem::targetLeft);
    }
    bool unreadable = false;
    for (std::size_t i = 0; i < pasteboards_.size(); ++i) {
        if (saved[i].complete) {
            pasteboards_[i]->giveBack(saved[i].items);
        } else {
            unreadable = true;
        }
    }
    if (unreadable) {
        report(InjectionProblem::clipboardUnreadable);
    }
}

void Injector::type(const WorkItem& item) {
    if (!stillTargeted(item)) {
        report(InjectionProblem::targetLeft);
        return;
    }
    const std::string flat = InjectionText::flattenForTyping(item.payload);
    const auto limit = static_cast<std::ptrdiff_t>(keyboard_->unicodeStringLimit());
    for (const std::string& piece : InjectionText::chunks(flat, limit)) {
        postUnicode(piece);
        clock_->sleepFor(typingGap);
    }
    if (item.kind == TriggerKind::send) {
        if (item.postDelayMS > 0) {
            sleepMilliseconds(item.postDelayMS);
        }
        if (!stillTargeted(item)) {
            report(InjectionProblem::targetLeft);
            return;
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
