#pragma once

// Puts a prompt's text at the insertion point of the frontmost application,
// by pasting it (and giving the user's pasteboard back) or by typing it, and
// sends the message with Return for an "Append & Send" shortcut.
//
// All work runs on one serial worker thread, paced by sleeps on it: two
// triggers are injected one after the other, never interleaved.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/config/Config.h"
#include "core/config/Hotkey.h"
#include "platform/Clock.h"
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
    static constexpr std::size_t typingChunkSize = 20;

    // `pasteboards` are borrowed together during a paste: the general
    // pasteboard on macOS, the clipboard and the primary selection under X11.
    Injector(std::shared_ptr<KeyboardEvents> keyboard,
             std::vector<std::shared_ptr<Pasteboard>> pasteboards, std::shared_ptr<Clock> clock,
             Keystroke pasteKeystroke = defaultPasteKeystroke);
    // Lets the injection under way finish (so the pasteboard is given back)
    // and drops those not started.
    ~Injector();

    Injector(const Injector&) = delete;
    Injector& operator=(const Injector&) = delete;

    // Any thread; returns at once. An empty payload injects nothing.
    void perform(const Rule& rule, TriggerKind kind, const Config& config);
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
    };

    void workerMain();
    void inject(const WorkItem& item);
    void waitForModifierRelease();
    void paste(const WorkItem& item);
    void type(const WorkItem& item);
    void postKey(std::uint16_t keyCode, std::uint64_t flags);
    void postUnicode(std::string_view text);
    void sleepMilliseconds(std::int64_t milliseconds);

    std::shared_ptr<KeyboardEvents> keyboard_;
    std::vector<std::shared_ptr<Pasteboard>> pasteboards_;
    std::shared_ptr<Clock> clock_;
    Keystroke pasteKeystroke_;
    std::unique_ptr<KeyEventSource> eventSource_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<WorkItem> queue_;
    bool busy_ = false;
    bool shuttingDown_ = false;
    std::thread worker_;
};

} // namespace tamsel
