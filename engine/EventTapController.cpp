#include "engine/EventTapController.h"

#include <algorithm>
#include <iterator>
#include <system_error>
#include <utility>

#include "platform/Threads.h"

namespace tamsel {

EventTapController::EventTapController(std::shared_ptr<EventTapService> taps,
                                       std::shared_ptr<Accessibility> accessibility,
                                       std::shared_ptr<MainQueue> mainQueue)
    : taps_(std::move(taps)), accessibility_(std::move(accessibility)),
      mainQueue_(std::move(mainQueue)), snapshot_(std::make_shared<const Snapshot>()) {}

EventTapController::~EventTapController() {
    std::shared_ptr<EventTap> tap;
    std::vector<TapThread> threads;
    {
        std::lock_guard guard(runtimeLock_);
        tap = std::move(tap_);
        if (thread_) {
            retireCurrentThreadLocked();
        }
        threads = std::move(retiredThreads_);
    }
    if (tap) {
        tap->setEnabled(false);
        tap->stop();
    }
    for (TapThread& record : threads) {
        if (!record.thread.joinable()) {
            continue;
        }
        if (record.thread.get_id() == std::this_thread::get_id()) {
            record.thread.detach();
        } else {
            record.thread.join();
        }
    }
}

void EventTapController::replaceSnapshot(const std::function<Snapshot(const Snapshot&)>& make) {
    while (true) {
        std::shared_ptr<const Snapshot> current = snapshot();
        std::shared_ptr<const Snapshot> next = std::make_shared<const Snapshot>(make(*current));
        {
            std::lock_guard guard(lock_);
            if (snapshot_ == current) {
                // The old value dies with `next` after the lock is released.
                std::swap(snapshot_, next);
                return;
            }
        }
    }
}

void EventTapController::updateConfig(const Config& config) {
    const TriggerIndex index(config.rules);
    replaceSnapshot([&](const Snapshot& current) {
        return Snapshot{config.enabled, index, config, current.frontmostBundleID};
    });
    std::shared_ptr<EventTap> tap;
    {
        std::lock_guard guard(runtimeLock_);
        tap = tap_;
    }
    if (tap) {
        tap->watchedHotkeysChanged();
    }
}

void EventTapController::updateFrontmostBundleID(std::optional<std::string> bundleID) {
    replaceSnapshot([&](const Snapshot& current) {
        Snapshot next = current;
        next.frontmostBundleID = bundleID;
        return next;
    });
}

std::shared_ptr<const EventTapController::Snapshot> EventTapController::snapshot() const {
    std::lock_guard guard(lock_);
    return snapshot_;
}

EventTapController::State EventTapController::state() const {
    std::lock_guard guard(runtimeLock_);
    return currentState_;
}

bool EventTapController::hasThread() const {
    std::lock_guard guard(runtimeLock_);
    return thread_.has_value();
}

void EventTapController::start() {
    joinFinishedThreads();
    {
        std::lock_guard guard(runtimeLock_);
        if (currentState_ == State::running) {
            return;
        }
    }
    if (!accessibility_->isProcessTrusted()) {
        setState(State::permissionDenied);
        return;
    }
    std::lock_guard guard(runtimeLock_);
    if (thread_) {
        return;
    }
    TapThread record;
    record.generation = nextGeneration_++;
    record.finished = std::make_shared<std::atomic<bool>>(false);
    try {
        // The thread waits for this lock before it publishes anything.
        record.thread =
            std::thread([this, generation = record.generation, finished = record.finished] {
                threadMain(generation, finished);
            });
    } catch (const std::system_error&) {
        setStateLocked(State::permissionDenied);
        return;
    }
    thread_ = std::move(record);
}

void EventTapController::stop() {
    std::shared_ptr<EventTap> tap;
    {
        std::lock_guard guard(runtimeLock_);
        tap = std::move(tap_);
        tap_.reset();
        if (thread_) {
            retireCurrentThreadLocked();
        }
    }
    if (tap) {
        tap->setEnabled(false);
        tap->stop();
    }
    setState(State::stopped);
}

void EventTapController::threadMain(std::uint64_t generation,
                                    std::shared_ptr<std::atomic<bool>> finished) {
    configureCurrentThread("tamsel.eventtap", ThreadQuality::userInteractive);
    std::shared_ptr<EventTap> tap = taps_->createTap(*this);
    if (!tap) {
        std::lock_guard guard(runtimeLock_);
        // A stop() that came first has already decided the state.
        if (thread_ && thread_->generation == generation) {
            retireCurrentThreadLocked();
            setStateLocked(State::permissionDenied);
        }
    } else {
        tap->setEnabled(true);
        bool current = false;
        {
            std::lock_guard guard(runtimeLock_);
            // If stop() came while the tap was being made, this thread is no
            // longer the controller's: running its tap would leave a second,
            // unstoppable tap behind, firing every shortcut twice.
            if (thread_ && thread_->generation == generation) {
                tap_ = tap;
                setStateLocked(State::running);
                current = true;
            }
        }
        if (current) {
            tap->run();
        }
        tap.reset();
    }
    finished->store(true, std::memory_order_release);
}

void EventTapController::setState(State next) {
    std::lock_guard guard(runtimeLock_);
    setStateLocked(next);
}

void EventTapController::setStateLocked(State next) {
    if (currentState_ == next) {
        return;
    }
    currentState_ = next;
    // Queued under the lock so that the main thread hears the changes in the
    // order they happened; the queue never runs the task inline.
    mainQueue_->post([weak = weak_from_this(), next] {
        if (auto self = weak.lock(); self && self->onStateChange_) {
            self->onStateChange_(next);
        }
    });
}

void EventTapController::retireCurrentThreadLocked() {
    retiredThreads_.push_back(std::move(*thread_));
    thread_.reset();
}

void EventTapController::joinFinishedThreads() {
    std::vector<TapThread> done;
    {
        std::lock_guard guard(runtimeLock_);
        auto firstDone = std::stable_partition(
            retiredThreads_.begin(), retiredThreads_.end(), [](const TapThread& record) {
                return !record.finished->load(std::memory_order_acquire);
            });
        std::move(firstDone, retiredThreads_.end(), std::back_inserter(done));
        retiredThreads_.erase(firstDone, retiredThreads_.end());
    }
    for (TapThread& record : done) {
        if (record.thread.joinable() && record.thread.get_id() != std::this_thread::get_id()) {
            record.thread.join();
        }
    }
}

TapVerdict EventTapController::handleTapEvent(const TapEvent& event) {
    switch (event.type) {
    case TapEventType::tapDisabledByTimeout:
    case TapEventType::tapDisabledByUserInput: {
        std::shared_ptr<EventTap> tap;
        {
            std::lock_guard guard(runtimeLock_);
            tap = tap_;
        }
        if (tap) {
            tap->setEnabled(true);
        }
        return TapVerdict::consume;
    }
    case TapEventType::other:
        return TapVerdict::passThrough;
    case TapEventType::keyDown:
        break;
    }
    if (event.sourceUserData == syntheticEventMarker) {
        return TapVerdict::passThrough;
    }

    std::shared_ptr<const Snapshot> current;
    {
        std::lock_guard guard(lock_);
        current = snapshot_;
    }
    if (!current->enabled || current->index.isEmpty()) {
        return TapVerdict::passThrough;
    }
    // What the tap saw at key-down beats what the main thread last heard: a
    // focus change may still be on its way there.
    std::optional<std::string_view> frontmost;
    FrontWindow target;
    if (event.frontWindow) {
        target = *event.frontWindow;
        if (event.frontWindow->applicationID) {
            frontmost = *event.frontWindow->applicationID;
        }
    } else if (current->frontmostBundleID) {
        frontmost = *current->frontmostBundleID;
        target.applicationID = current->frontmostBundleID;
    }
    if (frontmostKnowable_ && !current->config.isTargeted(frontmost)) {
        return TapVerdict::passThrough;
    }

    // Only the four modifiers count, and the set must equal the shortcut's.
    const std::optional<Hotkey> hotkey = Hotkey::fromKeyEvent(event.flags, event.keyCode);
    if (!hotkey) {
        return TapVerdict::passThrough;
    }
    const TriggerIndex::Match* match = current->index.match(*hotkey);
    if (!match) {
        return TapVerdict::passThrough;
    }
    if (onTrigger_) {
        onTrigger_(match->rule, match->kind, current->config, target);
    }
    return TapVerdict::consume;
}

std::vector<Hotkey> EventTapController::watchedHotkeys() const {
    std::shared_ptr<const Snapshot> current = snapshot();
    std::vector<Hotkey> hotkeys;
    if (!current->enabled) {
        return hotkeys;
    }
    for (const auto& [hotkey, match] : current->index.table()) {
        hotkeys.push_back(hotkey);
    }
    std::sort(hotkeys.begin(), hotkeys.end(), [](const Hotkey& a, const Hotkey& b) {
        return a.modifiers.rawValue != b.modifiers.rawValue
                   ? a.modifiers.rawValue < b.modifiers.rawValue
                   : a.key < b.key;
    });
    return hotkeys;
}

bool EventTapController::firesIn(const std::optional<std::string>& application) const {
    std::shared_ptr<const Snapshot> current = snapshot();
    std::optional<std::string_view> name;
    if (application) {
        name = *application;
    }
    return current->enabled && !current->index.isEmpty() &&
           (!frontmostKnowable_ || current->config.isTargeted(name));
}

void EventTapController::watchedHotkeysUnavailable(std::vector<Hotkey> hotkeys) {
    std::lock_guard guard(runtimeLock_);
    if (hotkeys == unavailable_) {
        return;
    }
    unavailable_ = hotkeys;
    // Under the lock, like state changes, so the main thread hears them in order.
    mainQueue_->post([weak = weak_from_this(), hotkeys = std::move(hotkeys)] {
        if (auto self = weak.lock(); self && self->onUnavailable_) {
            self->onUnavailable_(hotkeys);
        }
    });
}

} // namespace tamsel
