#pragma once

// Puts a prompt's text at the insertion point of the frontmost application,
// by pasting it (and giving the user's pasteboard back) or by typing it, and
// sends the message with Return for an "Append & Send" shortcut.
//
// All work runs on one serial worker thread, paced by sleeps on it: two
// triggers are injected one after the other, never interleaved.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/config/Config.h"
#include "core/config/Hotkey.h"
#include "core/config/InjectionProblem.h"
#include "platform/Clock.h"
#include "platform/FrontWindow.h"
#include "platform/KeyboardEvents.h"
#include "platform/Pasteboard.h"

namespace tamsel {

class Injector {
public:
    struct Keystroke {
        std::uint16_t keyCode = 0;
        std::uint64_t flags = 0;
        bool operator==(const Keystroke&) const = default;
    };
    // Command-V on macOS. Under X11, Shift-Insert, which terminals and GUI
    // toolkits both honour, is passed in instead.
    static constexpr Keystroke defaultPasteKeystroke{9, Modifiers::commandFlag};
    static constexpr std::uint16_t returnKeyCode = 36;
    static constexpr std::uint16_t unicodeKeyCode = 0;

    // The user gets this long to let go of the shortcut's keys.
    static constexpr auto heldKeysWaitLimit = std::chrono::milliseconds(1000);
    // The application gets this long to read a paste before Return is given up.
    static constexpr auto pasteReadLimit = std::chrono::milliseconds(1500);

    // Each problem of a firing is reported once, on the worker thread.
    using ProblemHandler = std::function<void(InjectionProblem)>;

    // `pasteboards` are borrowed together during a paste: the general
    // pasteboard on macOS, the clipboard and the primary selection under X11.
    // Without a `frontWindow` probe the target window is taken on trust.
    Injector(std::shared_ptr<KeyboardEvents> keyboard,
             std::vector<std::shared_ptr<Pasteboard>> pasteboards, std::shared_ptr<Clock> clock,
             Keystroke pasteKeystroke = defaultPasteKeystroke,
             std::shared_ptr<FrontWindowProbe> frontWindow = nullptr);
    // Lets the injection under way finish (so the pasteboard is given back)
    // and drops those not started.
    ~Injector();

    Injector(const Injector&) = delete;
    Injector& operator=(const Injector&) = delete;

    // Set once, before the first perform(); called on the worker thread.
    void setOnProblem(ProblemHandler handler) { onProblem_ = std::move(handler); }

    // Any thread; returns at once. An empty payload injects nothing.
    // `target` is the window the shortcut was pressed in (id 0: unknown).
    void perform(const Rule& rule, TriggerKind kind, const Config& config,
                 const FrontWindow& target = {});
    // Applications (by application ID) whose paste stops to ask about
    // control characters: the text goes to them with line breaks and other
    // control characters as spaces, as typing would put it. Set once, before
    // the first perform().
    void setPlainPasteApplications(std::vector<std::string> applicationIDs) {
        plainPasteApplications_ = std::move(applicationIDs);
    }
    // Blocks until every queued injection has finished.
    void waitUntilIdle();

private:
    // What an injection keeps of the configuration at the moment it fired.
    struct WorkItem {
        std::string payload;
        TriggerKind kind = TriggerKind::send;
        InjectionMethod method = InjectionMethod::paste;
        std::int64_t preDelayMS = 0;
        std::int64_t postDelayMS = 0;
        // The shortcut's main key, which must be up before we type.
        std::optional<std::uint16_t> triggerKeyCode;
        std::uint64_t targetWindow = 0;
        bool plainPaste = false;
        Config targets; // only its target list is used
    };

    void workerMain();
    void inject(const WorkItem& item);
    bool waitForKeysUp(const WorkItem& item);
    bool stillTargeted(const WorkItem& item);
    bool waitForPasteRead(Clock::Duration deadline);
    void report(InjectionProblem problem);
    void paste(const WorkItem& item);
    void type(const WorkItem& item);
    void postKey(std::uint16_t keyCode, std::uint64_t flags);
    void postUnicode(std::string_view text);
    void sleepMilliseconds(std::int64_t milliseconds);

    std::shared_ptr<KeyboardEvents> keyboard_;
    std::vector<std::shared_ptr<Pasteboard>> pasteboards_;
    std::shared_ptr<Clock> clock_;
    Keystroke pasteKeystroke_;
    std::shared_ptr<FrontWindowProbe> frontWindow_;
    std::unique_ptr<KeyEventSource> eventSource_;
    ProblemHandler onProblem_;
    std::vector<std::string> plainPasteApplications_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<WorkItem> queue_;
    bool busy_ = false;
    bool shuttingDown_ = false;
    std::thread worker_;
};

} // namespace tamsel
