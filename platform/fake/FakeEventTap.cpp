#include "platform/fake/FakeEventTap.h"

#include <atomic>
#include <thread>

namespace tamsel {

namespace {

// Polls a condition in real time; only for synchronising with other threads.
template <typename Predicate>
bool pollUntil(std::chrono::milliseconds timeout, Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

std::uint64_t currentThreadSerial() {
    static std::atomic<std::uint64_t> next{1};
    thread_local const std::uint64_t serial = next.fetch_add(1);
    return serial;
}

FakeEventTap::FakeEventTap(EventTapClient& client)
    : client_(client), creationThread_(currentThreadSerial()) {}

FakeEventTap::~FakeEventTap() = default;

void FakeEventTap::setEnabled(bool enabled) {
    std::lock_guard guard(mutex_);
    enabled_ = enabled;
    if (enabled) {
        ++enableCalls_;
    }
}

void FakeEventTap::run() {
    std::unique_lock guard(mutex_);
    hasRun_ = true;
    running_ = !stopRequested_;
    watchedDirty_ = true;
    while (!stopRequested_) {
        if (watchedDirty_) {
            watchedDirty_ = false;
            guard.unlock();
            std::vector<Hotkey> hotkeys = client_.watchedHotkeys();
            guard.lock();
            watched_ = std::move(hotkeys);
            ++watchedReads_;
            changed_.notify_all();
            continue;
        }
        if (!inbox_.empty()) {
            std::shared_ptr<Delivery> delivery = inbox_.front();
            inbox_.pop_front();
            guard.unlock();
            const TapVerdict verdict = client_.handleTapEvent(delivery->event);
            guard.lock();
            delivery->verdict = verdict;
            delivery->done = true;
            lastDeliveryThread_ = currentThreadSerial();
            changed_.notify_all();
            continue;
        }
        changed_.wait(guard);
    }
    for (const auto& delivery : inbox_) {
        delivery->done = true;
    }
    inbox_.clear();
    running_ = false;
    ended_ = true;
    changed_.notify_all();
}

void FakeEventTap::stop() {
    std::lock_guard guard(mutex_);
    stopRequested_ = true;
    changed_.notify_all();
}

void FakeEventTap::watchedHotkeysChanged() {
    std::lock_guard guard(mutex_);
    watchedDirty_ = true;
    changed_.notify_all();
}

std::optional<TapVerdict> FakeEventTap::deliver(const TapEvent& event,
                                                std::chrono::milliseconds timeout) {
    auto delivery = std::make_shared<Delivery>();
    delivery->event = event;
    std::unique_lock guard(mutex_);
    if (!running_ || stopRequested_) {
        return std::nullopt;
    }
    inbox_.push_back(delivery);
    changed_.notify_all();
    changed_.wait_for(guard, timeout, [&] { return delivery->done; });
    return delivery->verdict;
}

bool FakeEventTap::isEnabled() const {
    std::lock_guard guard(mutex_);
    return enabled_;
}

std::size_t FakeEventTap::enableCalls() const {
    std::lock_guard guard(mutex_);
    return enableCalls_;
}

bool FakeEventTap::hasRun() const {
    std::lock_guard guard(mutex_);
    return hasRun_;
}

bool FakeEventTap::isRunning() const {
    std::lock_guard guard(mutex_);
    return running_;
}

bool FakeEventTap::hasEnded() const {
    std::lock_guard guard(mutex_);
    return ended_;
}

std::uint64_t FakeEventTap::lastDeliveryThread() const {
    std::lock_guard guard(mutex_);
    return lastDeliveryThread_;
}

std::vector<Hotkey> FakeEventTap::watched() const {
    std::lock_guard guard(mutex_);
    return watched_;
}

bool FakeEventTap::waitForWatchedReads(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, timeout, [&] { return watchedReads_ >= count; });
}

std::shared_ptr<EventTap> FakeEventTapService::createTap(EventTapClient& client) {
    std::unique_lock guard(mutex_);
    ++attempts_;
    changed_.notify_all();
    changed_.wait(guard, [this] { return !holding_; });
    if (failCreation_) {
        return nullptr;
    }
    auto tap = std::make_shared<FakeEventTap>(client);
    taps_.push_back(tap);
    return tap;
}

void FakeEventTapService::setFailCreation(bool fail) {
    std::lock_guard guard(mutex_);
    failCreation_ = fail;
}

void FakeEventTapService::holdCreation() {
    std::lock_guard guard(mutex_);
    holding_ = true;
}

void FakeEventTapService::releaseCreation() {
    {
        std::lock_guard guard(mutex_);
        holding_ = false;
    }
    changed_.notify_all();
}

bool FakeEventTapService::waitForCreationAttempts(std::size_t count,
                                                  std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, timeout, [&] { return attempts_ >= count; });
}

std::size_t FakeEventTapService::creationAttempts() const {
    std::lock_guard guard(mutex_);
    return attempts_;
}

std::size_t FakeEventTapService::tapsCreated() const {
    std::lock_guard guard(mutex_);
    return taps_.size();
}

std::shared_ptr<FakeEventTap> FakeEventTapService::tap(std::size_t index) const {
    std::lock_guard guard(mutex_);
    return index < taps_.size() ? taps_[index].lock() : nullptr;
}

std::shared_ptr<FakeEventTap>
FakeEventTapService::waitForRunningTap(std::size_t index, std::chrono::milliseconds timeout) {
    std::shared_ptr<FakeEventTap> found;
    pollUntil(timeout, [&] {
        found = tap(index);
        return found && found->isRunning();
    });
    return found && found->isRunning() ? found : nullptr;
}

bool FakeEventTapService::waitForTapDestroyed(std::size_t index,
                                              std::chrono::milliseconds timeout) {
    return pollUntil(timeout, [&] {
        std::lock_guard guard(mutex_);
        return index < taps_.size() && taps_[index].expired();
    });
}

std::optional<TapVerdict> FakeEventTapService::deliver(const TapEvent& event) {
    std::shared_ptr<FakeEventTap> running;
    {
        std::lock_guard guard(mutex_);
        for (auto it = taps_.rbegin(); it != taps_.rend() && !running; ++it) {
            if (auto tap = it->lock(); tap && tap->isRunning()) {
                running = tap;
            }
        }
    }
    return running ? running->deliver(event) : std::nullopt;
}

} // namespace tamsel
