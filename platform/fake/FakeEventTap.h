#pragma once

// A scripted tap: the test hands it events, it delivers each one to the
// client on the real tap thread (inside run()) and hands the verdict back.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/EventTap.h"

namespace tamsel {

// A number per thread that, unlike std::thread::id, is never reused.
std::uint64_t currentThreadSerial();

class FakeEventTap final : public EventTap {
public:
    explicit FakeEventTap(EventTapClient& client);
    ~FakeEventTap() override;

    void setEnabled(bool enabled) override;
    void run() override;
    void stop() override;
    void watchedHotkeysChanged() override;

    // No value when the tap is not running or stops first.
    std::optional<TapVerdict> deliver(const TapEvent& event,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

    bool isEnabled() const;
    std::size_t enableCalls() const; // setEnabled(true) calls
    bool hasRun() const;
    bool isRunning() const;
    bool hasEnded() const; // run() has returned
    std::uint64_t creationThread() const { return creationThread_; }
    std::uint64_t lastDeliveryThread() const;
    // The client's watched shortcuts as last read on the tap thread.
    std::vector<Hotkey> watched() const;
    // Real-time wait until the tap has read the watched shortcuts `count` times.
    bool waitForWatchedReads(std::size_t count, std::chrono::milliseconds timeout);

private:
    struct Delivery {
        TapEvent event;
        std::optional<TapVerdict> verdict;
        bool done = false;
    };

    EventTapClient& client_;
    const std::uint64_t creationThread_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Delivery>> inbox_;
    bool enabled_ = false;
    std::size_t enableCalls_ = 0;
    bool stopRequested_ = false;
    bool running_ = false;
    bool hasRun_ = false;
    bool ended_ = false;
    bool watchedDirty_ = false;
    std::size_t watchedReads_ = 0;
    std::vector<Hotkey> watched_;
    std::uint64_t lastDeliveryThread_ = 0;
};

class FakeEventTapService final : public EventTapService {
public:
    std::shared_ptr<EventTap> createTap(EventTapClient& client) override;

    void setFailCreation(bool fail);
    // Holds every createTap() call until released, to widen start-up races.
    void holdCreation();
    void releaseCreation();
    bool waitForCreationAttempts(std::size_t count, std::chrono::milliseconds timeout);

    std::size_t creationAttempts() const;
    std::size_t tapsCreated() const;
    // In order of creation; empty once the tap has been destroyed.
    std::shared_ptr<FakeEventTap> tap(std::size_t index) const;
    // Real-time wait until the `index`th tap is inside run().
    std::shared_ptr<FakeEventTap> waitForRunningTap(std::size_t index,
                                                    std::chrono::milliseconds timeout);
    // Real-time wait until the `index`th tap has been destroyed.
    bool waitForTapDestroyed(std::size_t index, std::chrono::milliseconds timeout);
    // Delivers to the tap that is running (the latest one).
    std::optional<TapVerdict> deliver(const TapEvent& event);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool failCreation_ = false;
    bool holding_ = false;
    std::size_t attempts_ = 0;
    std::vector<std::weak_ptr<FakeEventTap>> taps_;
};

} // namespace tamsel
