#pragma once

// Watches every key-down system-wide on a thread of its own and swallows the
// ones that are the user's shortcuts, reporting each to its owner.
//
// Two locks: `lock_` guards only the snapshot pointer, `runtimeLock_` the tap,
// the thread and the state. They are never held together and no handler is
// called under either.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/config/Config.h"
#include "core/config/TriggerIndex.h"
#include "platform/Accessibility.h"
#include "platform/EventTap.h"
#include "platform/MainQueue.h"

namespace tamsel {

class EventTapController final : public EventTapClient,
                                 public std::enable_shared_from_this<EventTapController> {
public:
    enum class State : std::uint8_t { stopped, running, permissionDenied };

    // What the callback matches against; immutable once published.
    struct Snapshot {
        bool enabled = false;
        TriggerIndex index;
        Config config;
        std::optional<std::string> frontmostBundleID;

        bool operator==(const Snapshot&) const = default;
    };

    // The last argument is the window the shortcut was pressed in, as the tap
    // read it at key-down (id 0 when the tap cannot tell): the injection must
    // land there or nowhere.
    using TriggerHandler =
        std::function<void(const Rule&, TriggerKind, const Config&, const FrontWindow& target)>;
    using StateChangeHandler = std::function<void(State)>;
    using UnavailableHandler = std::function<void(std::vector<Hotkey>)>;

    // "TAMSEL" in ASCII, most significant byte first: carried in the source
    // user data of every event the program posts itself.
    static constexpr std::int64_t syntheticEventMarker = 0x54414D53454C;

    // Build with std::make_shared: state changes reach the main queue through
    // a weak reference.
    EventTapController(std::shared_ptr<EventTapService> taps,
                       std::shared_ptr<Accessibility> accessibility,
                       std::shared_ptr<MainQueue> mainQueue);
    // Stops the tap and waits for every tap thread to end. Must not run on a
    // tap thread (that is, not from inside onTrigger).
    ~EventTapController();

    EventTapController(const EventTapController&) = delete;
    EventTapController& operator=(const EventTapController&) = delete;

    // Set once, before the first start(). onTrigger runs on the tap thread
    // while the key is held back, so it must only hand the work off;
    // onStateChange runs on the main queue, once per change, in order.
    void setOnTrigger(TriggerHandler handler) { onTrigger_ = std::move(handler); }
    void setOnStateChange(StateChangeHandler handler) { onStateChange_ = std::move(handler); }
    // On the main queue, with the shortcuts the system would not let us
    // watch, each time that list changes.
    void setOnUnavailableHotkeys(UnavailableHandler handler) {
        onUnavailable_ = std::move(handler);
    }

    // After every configuration change: switch, index and configuration in one step.
    void updateConfig(const Config& config);
    // After every change of the frontmost application.
    void updateFrontmostBundleID(std::optional<std::string> bundleID);
    // Where the session cannot tell which application is in front (GNOME
    // under Wayland), the target list cannot be applied: every shortcut
    // fires wherever the focus is, rather than none ever firing.
    void setFrontmostKnowable(bool knowable) { frontmostKnowable_ = knowable; }
    std::shared_ptr<const Snapshot> snapshot() const;

    State state() const;
    // Whether a tap thread exists (it may not be running yet).
    bool hasThread() const;

    // Both return at once; the tap is made on the new thread.
    void start();
    void stop();

    // The tap callback.
    TapVerdict handleTapEvent(const TapEvent& event) override;
    std::vector<Hotkey> watchedHotkeys() const override;
    void watchedHotkeysUnavailable(std::vector<Hotkey> hotkeys) override;
    bool firesIn(const std::optional<std::string>& application) const override;

private:
    struct TapThread {
        std::uint64_t generation = 0;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    void threadMain(std::uint64_t generation, std::shared_ptr<std::atomic<bool>> finished);
    void setState(State next);
    void setStateLocked(State next); // requires runtimeLock_
    // Publishes make(current) in place of the current snapshot, retrying if
    // another writer got there first.
    void replaceSnapshot(const std::function<Snapshot(const Snapshot&)>& make);
    void retireCurrentThreadLocked(); // requires runtimeLock_
    void joinFinishedThreads();

    std::shared_ptr<EventTapService> taps_;
    std::shared_ptr<Accessibility> accessibility_;
    std::shared_ptr<MainQueue> mainQueue_;

    TriggerHandler onTrigger_;
    StateChangeHandler onStateChange_;
    UnavailableHandler onUnavailable_;

    mutable std::mutex lock_;
    std::shared_ptr<const Snapshot> snapshot_;

    mutable std::mutex runtimeLock_;
    std::shared_ptr<EventTap> tap_;
    std::optional<TapThread> thread_;
    // Threads told to stop, joined once they have finished (or on destruction).
    std::vector<TapThread> retiredThreads_;
    std::uint64_t nextGeneration_ = 1;
    State currentState_ = State::stopped;
    std::vector<Hotkey> unavailable_; // guarded by runtimeLock_
    std::atomic<bool> frontmostKnowable_{true};
};

} // namespace tamsel
