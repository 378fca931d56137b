#pragma once

// The event tap on sway. A Wayland client cannot see other windows' keys, so
// sway itself holds the shortcuts: each watched chord is bound, by the key's
// symbol in the US layout, to a command that does nothing but tell us over
// IPC. A bound chord
// never reaches the window, so the chords are bound only while a window we
// fire in has the focus and unbound otherwise: elsewhere they pass through
// untouched. (Typing the chord back to the window instead would meet our own
// binding again.)

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/toolkit/FileDescriptor.h"
#include "platform/EventTap.h"
#include "platform/FrontWindow.h"
#include "platform/wayland/SwayIpc.h"

namespace tamsel {

// What sway last said has the focus, for the rest of the program (any thread).
class SwayFocus {
public:
    std::optional<SwayIpc::Focused> window() const {
        std::lock_guard lock(mutex_);
        return window_;
    }
    std::optional<std::string> application() const {
        std::lock_guard lock(mutex_);
        return window_ ? window_->application : std::nullopt;
    }
    void set(std::optional<SwayIpc::Focused> window) {
        std::lock_guard lock(mutex_);
        window_ = std::move(window);
    }

private:
    mutable std::mutex mutex_;
    std::optional<SwayIpc::Focused> window_;
};

// The focused window read from sway at the moment of asking.
class SwayFrontWindowProbe final : public FrontWindowProbe {
public:
    static std::shared_ptr<SwayFrontWindowProbe> create(std::string& error);
    std::optional<FrontWindow> frontWindow() override;

    explicit SwayFrontWindowProbe(std::unique_ptr<SwayIpc> ipc) : ipc_(std::move(ipc)) {}

private:
    std::mutex mutex_;
    std::unique_ptr<SwayIpc> ipc_;
};

class SwayEventTap final : public EventTap {
public:
    // The command each binding runs: "nop <prefix> <index>".
    static constexpr const char* commandPrefix = "tamsel-shortcut";

    SwayEventTap(std::unique_ptr<SwayIpc> commands, std::unique_ptr<SwayIpc> events,
                 EventTapClient& client, std::shared_ptr<SwayFocus> focus, FileDescriptor wakeRead,
                 FileDescriptor wakeWrite);
    ~SwayEventTap() override;

    void setEnabled(bool enabled) override;
    void run() override;
    void stop() override;
    void watchedHotkeysChanged() override;

    // The symbols a main key is bound by ("Return" and "KP_Enter" for enter).
    static std::vector<std::string> keysymNames(MainKey key);
    // sway's notation of a chord: "Shift+Mod4+Return".
    static std::string chord(const Hotkey& hotkey, const std::string& keysym);

private:
    void wake();
    void refreshFocus();
    void rebind();
    void unbindAll();
    void handle(const SwayIpc::Message& message);

    std::unique_ptr<SwayIpc> commands_;
    std::unique_ptr<SwayIpc> events_;
    EventTapClient& client_;
    std::shared_ptr<SwayFocus> focus_;
    FileDescriptor wakeRead_;
    FileDescriptor wakeWrite_;
    std::atomic<bool> enabled_{true};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> rebindDue_{false};
    // The chords wanted and those bound now, each with the shortcut it
    // stands for; tap thread only.
    std::vector<std::pair<std::string, Hotkey>> wanted_;
    std::vector<std::pair<std::string, Hotkey>> bound_;
};

class SwayEventTapService final : public EventTapService {
public:
    explicit SwayEventTapService(std::shared_ptr<SwayFocus> focus) : focus_(std::move(focus)) {}
    std::shared_ptr<EventTap> createTap(EventTapClient& client) override;

private:
    std::shared_ptr<SwayFocus> focus_;
};

} // namespace tamsel
