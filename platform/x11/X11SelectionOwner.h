#pragma once

// Holds selections (CLIPBOARD, PRIMARY) for the program on a thread and
// connection of its own, and answers every program that asks for them, large
// contents through INCR, several targets at once through MULTIPLE. Qt's clipboard lives on the main
// thread; this one serves the injector's worker, which must not depend on the main thread being
// free while it pastes.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/toolkit/FileDescriptor.h"
#include "platform/x11/X11Handle.h"
#include "platform/x11/X11SelectionReader.h"

namespace tamsel {

class X11SelectionOwner {
public:
    // No value, and the reason in `error`, without a display or a thread.
    static std::shared_ptr<X11SelectionOwner> create(std::string& error);
    ~X11SelectionOwner();
    X11SelectionOwner(const X11SelectionOwner&) = delete;
    X11SelectionOwner& operator=(const X11SelectionOwner&) = delete;

    // Any thread; each returns once the owner thread has done it.
    bool own(const std::string& selection, std::vector<SelectionData> contents);
    void disown(const std::string& selection);
    // Whether our last own() of the selection still holds it.
    bool owns(const std::string& selection);
    // Takes the selection back with `contents` (none: leaves it without an
    // owner) as of the moment of our last own(). The server itself refuses
    // that if another program took the selection after that moment, so a copy
    // the user makes meanwhile is never overwritten, however close the race.
    // True when given back.
    bool giveBack(const std::string& selection, std::vector<SelectionData> contents);
    // From now on, notes when the client that made `window` (0: any client)
    // is given contents (not just the list of targets) of any selection we
    // hold. A clipboard history reading each new owner at once is another
    // client and does not count.
    void expectReadBy(XResource window);
    bool readAsExpected();
    // How many contents requests were answered so far (for tests).
    std::uint64_t servedCount();

    enum class Handover {
        nothingToHand, // CLIPBOARD is not ours, or holds a secret (our prompt)
        noManager,
        handed,
        refused,    // the manager said it could not save it
        unanswered, // nor within the limit
    };
    // Before quitting: what CLIPBOARD holds for the user (given back after a
    // paste) would go with us. A running clipboard manager is asked to save
    // it (SAVE_TARGETS on CLIPBOARD_MANAGER, the freedesktop convention), and
    // its reads are answered until it says it is done, at most `limit`.
    Handover handToClipboardManager(std::chrono::milliseconds limit = std::chrono::seconds(1));

    X11SelectionOwner(DisplayHandle display, FileDescriptor wakeRead, FileDescriptor wakeWrite);

private:
    struct Offer {
        std::vector<SelectionData> contents;
        XResource since = 0; // server time
    };
    struct Transfer {
        XResource requestor = 0;
        XResource property = 0;
        XResource type = 0;
        int format = 8;
        std::string bytes;
        std::size_t offset = 0;
    };

    void threadMain();
    void runOnThread(std::function<void()> task);
    void handle(const ::_XEvent& event);
    void answer(const ::_XEvent& event);
    // Puts one target of a selection we hold into the requestor's property.
    bool convert(XResource requestor, XResource selection, XResource target, XResource property);
    bool convertMultiple(XResource requestor, XResource selection, XResource property);
    Handover handOver(std::chrono::milliseconds limit);
    void continueTransfer(const ::_XEvent& event);
    XResource serverTime();
    void putProperty(XResource window, XResource property, XResource type, int format,
                     const std::string& bytes);

    DisplayHandle display_;
    FileDescriptor wakeRead_;
    FileDescriptor wakeWrite_;
    XResource window_ = 0;
    std::size_t chunkSize_ = 0;

    // Owner thread only.
    std::map<XResource, Offer> offers_;
    std::vector<Transfer> transfers_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::map<std::string, bool> owned_;
    // The bits of a resource id that a client chooses; the rest name the client.
    XResource resourceMask_ = 0;
    bool expecting_ = false;
    bool readAsExpected_ = false;
    XResource expectedClient_ = 0; // 0: any
    std::uint64_t served_ = 0;
    std::thread thread_;
};

} // namespace tamsel
