#pragma once

// The event tap under X11: passive grabs of exactly the watched shortcuts, in
// synchronous keyboard mode, on a connection of the tap thread's own. A
// grabbed key-down freezes the keyboard until we answer: "consume" lets the
// keyboard go on without it, "pass through" replays it to the focused window
// as if no grab existed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/toolkit/FileDescriptor.h"
#include "platform/EventTap.h"
#include "platform/x11/SyntheticKeyLedger.h"
#include "platform/x11/X11Handle.h"

namespace tamsel {

class X11EventTap final : public EventTap {
public:
    static constexpr int refusedRetryMS = 2000;

    X11EventTap(DisplayHandle display, EventTapClient& client,
                std::shared_ptr<SyntheticKeyLedger> ledger, std::int64_t syntheticMarker,
                FileDescriptor wakeRead, FileDescriptor wakeWrite);
    ~X11EventTap() override;

    void setEnabled(bool enabled) override;
    void run() override;
    void stop() override;
    void watchedHotkeysChanged() override;

private:
    void wake();
    void grabWatched();
    void ungrabAll();
    void handle(const ::_XEvent& event);
    unsigned numLockMask();

    DisplayHandle display_;
    EventTapClient& client_;
    std::shared_ptr<SyntheticKeyLedger> ledger_;
    std::int64_t syntheticMarker_;
    FileDescriptor wakeRead_;
    FileDescriptor wakeWrite_;
    std::atomic<bool> enabled_{true};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> regrab_{false};
    // (keycode, mask) pairs grabbed now; only the tap thread touches them.
    std::vector<std::pair<unsigned, unsigned>> grabbed_;
    std::size_t refusedCount_ = 0;
};

class X11EventTapService final : public EventTapService {
public:
    // Key-downs the ledger claims reach the client with `syntheticMarker`.
    X11EventTapService(std::shared_ptr<SyntheticKeyLedger> ledger, std::int64_t syntheticMarker);
    std::shared_ptr<EventTap> createTap(EventTapClient& client) override;

private:
    std::shared_ptr<SyntheticKeyLedger> ledger_;
    std::int64_t syntheticMarker_;
};

} // namespace tamsel
