#include "platform/x11/X11SelectionOwner.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <xcb/xcb.h>

#include "platform/x11/X11Display.h"

namespace tamsel {

std::shared_ptr<X11SelectionOwner> X11SelectionOwner::create(std::string& error) {
    DisplayOpening opened = openDisplay();
    if (!opened.display) {
        error = opened.error;
        return nullptr;
    }
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = "Cannot make a pipe for the clipboard thread.";
        return nullptr;
    }
    try {
        return std::make_shared<X11SelectionOwner>(std::move(opened.display),
                                                   FileDescriptor(fds[0]), FileDescriptor(fds[1]));
    } catch (const std::system_error&) {
        error = "Cannot start the clipboard thread.";
        return nullptr;
    }
}

X11SelectionOwner::X11SelectionOwner(DisplayHandle display, FileDescriptor wakeRead,
                                     FileDescriptor wakeWrite)
    : display_(std::move(display)), wakeRead_(std::move(wakeRead)),
      wakeWrite_(std::move(wakeWrite)) {
    Display* d = display_.get();
    window_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d, window_, PropertyChangeMask);
    // A request must leave room for its own header.
    const long maximum =
        XExtendedMaxRequestSize(d) > 0 ? XExtendedMaxRequestSize(d) : XMaxRequestSize(d);
    chunkSize_ = static_cast<std::size_t>(std::min(maximum * 4 - 1024, 256L * 1024));
    // From the server's greeting; every server we know uses 21 bits.
    const xcb_setup_t* setup = xcb_get_setup(XGetXCBConnection(d));
    resourceMask_ =
        setup != nullptr && setup->resource_id_mask != 0 ? setup->resource_id_mask : 0x1FFFFF;
    XFlush(d);
    thread_ = std::thread([this] { threadMain(); });
}

X11SelectionOwner::~X11SelectionOwner() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeWrite_.get(), &byte, 1);
    thread_.join();
    XDestroyWindow(display_.get(), window_);
}

void X11SelectionOwner::threadMain() {
    Display* d = display_.get();
    while (true) {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard guard(mutex_);
            if (stopping_) {
                return;
            }
            tasks.swap(tasks_);
        }
        for (auto& task : tasks) {
            task();
        }
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            handle(event);
        }
        pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[1].revents & POLLIN) {
            char buffer[64];
            while (::read(wakeRead_.get(), buffer, sizeof buffer) > 0) {
            }
        }
        if (fds[0].revents & (POLLERR | POLLHUP)) {
            std::unique_lock guard(mutex_);
            // The server is gone; wait only to be told to stop.
            changed_.wait(guard, [this] { return stopping_; });
            return;
        }
    }
}

void X11SelectionOwner::runOnThread(std::function<void()> task) {
    bool done = false;
    {
        std::lock_guard guard(mutex_);
        if (stopping_) {
            return;
        }
        tasks_.push_back([this, &done, task = std::move(task)] {
            task();
            std::lock_guard inner(mutex_);
            done = true;
            changed_.notify_all();
        });
    }
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeWrite_.get(), &byte, 1);
    std::unique_lock guard(mutex_);
    changed_.wait(guard, [&] { return done || stopping_; });
}

bool X11SelectionOwner::own(const std::string& selection, std::vector<SelectionData> contents) {
    bool owned = false;
    runOnThread([&] {
        Display* d = display_.get();
        const Atom atom = internAtom(d, selection.c_str());
        const Time time = serverTime();
        XSetSelectionOwner(d, atom, window_, time);
        owned = XGetSelectionOwner(d, atom) == window_;
        if (owned) {
            offers_[atom] = Offer{std::move(contents), time};
        }
        std::lock_guard guard(mutex_);
        owned_[selection] = owned;
    });
    return owned;
}

void X11SelectionOwner::disown(const std::string& selection) {
    runOnThread([&] {
        Display* d = display_.get();
        const Atom atom = internAtom(d, selection.c_str());
        if (XGetSelectionOwner(d, atom) == window_) {
            XSetSelectionOwner(d, atom, None, serverTime());
            XSync(d, False); // the caller may ask the server next
        }
        offers_.erase(atom);
        std::lock_guard guard(mutex_);
        owned_[selection] = false;
    });
}

bool X11SelectionOwner::owns(const std::string& selection) {
    std::lock_guard guard(mutex_);
    auto found = owned_.find(selection);
    return found != owned_.end() && found->second;
}

bool X11SelectionOwner::giveBack(const std::string& selection,
                                 std::vector<SelectionData> contents) {
    bool given = false;
    const bool restoring = !contents.empty();
    runOnThread([&] {
        Display* d = display_.get();
        const Atom atom = internAtom(d, selection.c_str());
        auto offer = offers_.find(atom);
        if (offer == offers_.end()) {
            return; // another program has it: what it holds is newer
        }
        const Time since = offer->second.since;
        if (!restoring) {
            XSetSelectionOwner(d, atom, None, since);
            given = XGetSelectionOwner(d, atom) == None;
            offers_.erase(offer);
        } else {
            // Same owner, same time: the server takes it as one change
            // (no moment without an owner), unless someone came after us.
            XSetSelectionOwner(d, atom, window_, since);
            given = XGetSelectionOwner(d, atom) == window_;
            if (given) {
                offer->second.contents = std::move(contents);
            } else {
                offers_.erase(offer);
            }
        }
        std::lock_guard guard(mutex_);
        owned_[selection] = given && restoring;
        // Whatever happens now is not a read of the text we lent.
        expecting_ = false;
    });
    return given;
}

void X11SelectionOwner::expectReadBy(XResource window) {
    std::lock_guard guard(mutex_);
    expecting_ = true;
    readAsExpected_ = false;
    expectedClient_ = window == 0 ? 0 : (window & ~resourceMask_);
}

bool X11SelectionOwner::readAsExpected() {
    std::lock_guard guard(mutex_);
    return readAsExpected_;
}

std::uint64_t X11SelectionOwner::servedCount() {
    std::lock_guard guard(mutex_);
    return served_;
}

// The server's time now, as ICCCM wants for taking a selection: the
// timestamp of a change to a property of our own window.
XResource X11SelectionOwner::serverTime() {
    Display* d = display_.get();
    const Atom stamp = internAtom(d, "TAMSEL_TIMESTAMP");
    XChangeProperty(d, window_, stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    struct Match {
        Window window;
        Atom atom;
    } match{window_, stamp};
    XIfEvent(
        d, &event,
        [](Display*, XEvent* e, XPointer arg) -> Bool {
            const auto* m = reinterpret_cast<Match*>(arg);
            return e->type == PropertyNotify && e->xproperty.window == m->window &&
                   e->xproperty.atom == m->atom;
        },
        reinterpret_cast<XPointer>(&match));
    return event.xproperty.time;
}

void X11SelectionOwner::handle(const XEvent& event) {
    switch (event.type) {
    case SelectionRequest:
        answer(event);
        break;
    case SelectionClear: {
        // A clear that our own letting go caused may arrive after we took the
        // selection again: only the server's current owner counts.
        const Atom selection = event.xselectionclear.selection;
        auto found = offers_.find(selection);
        if (found != offers_.end() && XGetSelectionOwner(display_.get(), selection) != window_) {
            offers_.erase(found);
            const std::string name = atomName(display_.get(), event.xselectionclear.selection);
            std::lock_guard guard(mutex_);
            owned_[name] = false;
        }
        break;
    }
    case PropertyNotify:
        if (event.xproperty.state == PropertyDelete) {
            continueTransfer(event);
        }
        break;
    default:
        break;
    }
}

void X11SelectionOwner::putProperty(XResource window, XResource property, XResource type,
                                    int format, const std::string& bytes) {
    unsigned long count = 0;
    std::vector<unsigned char> items = unpackPropertyItems(bytes, format, count);
    XChangeProperty(display_.get(), window, property, type, format, PropModeReplace,
                    items.empty() ? nullptr : items.data(), static_cast<int>(count));
}

void X11SelectionOwner::answer(const XEvent& event) {
    const XSelectionRequestEvent& request = event.xselectionrequest;
    Display* d = display_.get();
    // Obsolete clients name no property: the target stands in for it.
    const Atom property = request.property == None ? request.target : request.property;
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = d;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    // The requestor may be gone by now.
    X11ErrorTrap trap(d);
    const bool converted =
        request.target == internAtom(d, "MULTIPLE")
            ? request.property != None &&
                  convertMultiple(request.requestor, request.selection, request.property)
            : convert(request.requestor, request.selection, request.target, property);
    if (converted) {
        reply.property = property;
    }
    XSendEvent(d, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(d);
}

bool X11SelectionOwner::convert(XResource requestor, XResource selection, XResource target,
                                XResource property) {
    Display* d = display_.get();
    auto found = offers_.find(selection);
    if (found == offers_.end()) {
        return false;
    }
    const Offer& offer = found->second;
    const Atom targetsAtom = internAtom(d, "TARGETS");
    const Atom timestampAtom = internAtom(d, "TIMESTAMP");
    if (target == targetsAtom) {
        std::vector<long> atoms{static_cast<long>(targetsAtom), static_cast<long>(timestampAtom),
                                static_cast<long>(internAtom(d, "MULTIPLE"))};
        for (const SelectionData& data : offer.contents) {
            atoms.push_back(static_cast<long>(internAtom(d, data.target.c_str())));
        }
        XChangeProperty(d, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(atoms.data()),
                        static_cast<int>(atoms.size()));
        return true;
    }
    if (target == timestampAtom) {
        long time = static_cast<long>(offer.since);
        XChangeProperty(d, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&time), 1);
        return true;
    }
    const std::string name = atomName(d, target);
    auto data = std::find_if(offer.contents.begin(), offer.contents.end(),
                             [&](const SelectionData& c) { return c.target == name; });
    if (data == offer.contents.end()) {
        return false;
    }
    const Atom type = internAtom(d, (data->type.empty() ? data->target : data->type).c_str());
    if (data->bytes.size() > chunkSize_) {
        XSelectInput(d, requestor, PropertyChangeMask);
        long size = static_cast<long>(data->bytes.size());
        XChangeProperty(d, requestor, property, internAtom(d, "INCR"), 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&size), 1);
        transfers_.push_back({requestor, property, type, data->format, data->bytes, 0});
    } else {
        putProperty(requestor, property, type, data->format, data->bytes);
    }
    std::lock_guard guard(mutex_);
    ++served_;
    if (expecting_ && (expectedClient_ == 0 || (requestor & ~resourceMask_) == expectedClient_)) {
        readAsExpected_ = true;
    }
    return true;
}

// The requestor's property lists (target, property) pairs; each is converted
// in turn, and a pair whose target we cannot give gets None for its property.
bool X11SelectionOwner::convertMultiple(XResource requestor, XResource selection,
                                        XResource property) {
    Display* d = display_.get();
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, requestor, property, 0, 1024, False, AnyPropertyType, &type, &format,
                           &count, &remaining, &data) != Success ||
        data == nullptr) {
        return false;
    }
    std::vector<long> pairs;
    if (format == 32) {
        const auto* items = reinterpret_cast<const long*>(data);
        pairs.assign(items, items + count - count % 2);
    }
    XFree(data);
    if (pairs.empty()) {
        return false;
    }
    const Atom multiple = internAtom(d, "MULTIPLE");
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
        const auto target = static_cast<Atom>(pairs[i]);
        const auto into = static_cast<Atom>(pairs[i + 1]);
        if (target == multiple || into == None || !convert(requestor, selection, target, into)) {
            pairs[i + 1] = None;
        }
    }
    XChangeProperty(d, requestor, property, internAtom(d, "ATOM_PAIR"), 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(pairs.data()), static_cast<int>(pairs.size()));
    return true;
}

X11SelectionOwner::Handover
X11SelectionOwner::handToClipboardManager(std::chrono::milliseconds limit) {
    Handover result = Handover::nothingToHand;
    runOnThread([&] { result = handOver(limit); });
    return result;
}

X11SelectionOwner::Handover X11SelectionOwner::handOver(std::chrono::milliseconds limit) {
    Display* d = display_.get();
    const Atom clipboard = internAtom(d, "CLIPBOARD");
    auto offer = offers_.find(clipboard);
    if (offer == offers_.end() || XGetSelectionOwner(d, clipboard) != window_) {
        return Handover::nothingToHand;
    }
    const auto& contents = offer->second.contents;
    const bool secret =
        std::any_of(contents.begin(), contents.end(), [](const SelectionData& data) {
            return data.target == "x-kde-passwordManagerHint" && data.bytes == "secret";
        });
    if (secret || contents.empty()) {
        return Handover::nothingToHand;
    }
    const Atom manager = internAtom(d, "CLIPBOARD_MANAGER");
    if (XGetSelectionOwner(d, manager) == None) {
        return Handover::noManager;
    }
    // The targets to save: all we offer.
    const Atom saveTargets = internAtom(d, "SAVE_TARGETS");
    const Atom property = internAtom(d, "TAMSEL_SAVE_TARGETS");
    std::vector<long> atoms;
    for (const SelectionData& data : contents) {
        atoms.push_back(static_cast<long>(internAtom(d, data.target.c_str())));
    }
    XChangeProperty(d, window_, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
    XConvertSelection(d, manager, saveTargets, property, window_, serverTime());
    XFlush(d);
    // The manager reads from us before it answers: serve it meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == SelectionNotify && event.xselection.selection == manager &&
                event.xselection.target == saveTargets) {
                XDeleteProperty(d, window_, property);
                XFlush(d);
                return event.xselection.property != None ? Handover::handed : Handover::refused;
            }
            handle(event);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Handover::unanswered;
        }
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count()) + 1) > 0 &&
            (fd.revents & (POLLERR | POLLHUP))) {
            return Handover::unanswered;
        }
    }
}

void X11SelectionOwner::continueTransfer(const XEvent& xevent) {
    const XPropertyEvent& event = xevent.xproperty;
    auto transfer = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
        return t.requestor == event.window && t.property == event.atom;
    });
    if (transfer == transfers_.end()) {
        return;
    }
    X11ErrorTrap trap(display_.get());
    // Chunks of whole items; the last, empty one tells the requestor it has all.
    const std::size_t itemSize = transfer->format == 8 ? 1 : transfer->format / 8;
    const std::size_t length =
        std::min(chunkSize_ / itemSize * itemSize, transfer->bytes.size() - transfer->offset);
    putProperty(transfer->requestor, transfer->property, transfer->type, transfer->format,
                transfer->bytes.substr(transfer->offset, length));
    XFlush(display_.get());
    if (length == 0 || !trap.sync().empty()) {
        transfers_.erase(transfer);
        return;
    }
    transfer->offset += length;
}

} // namespace tamsel
