#include "platform/x11/X11SelectionReader.h"

#include <poll.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include <X11/Xatom.h>

#include "platform/x11/X11Display.h"

namespace tamsel {

namespace {

// Targets that are requests or descriptions rather than contents.
bool isMetaTarget(const std::string& name) {
    static const char* const meta[] = {"TARGETS",         "MULTIPLE",      "TIMESTAMP",
                                       "SAVE_TARGETS",    "DELETE",        "INSERT_SELECTION",
                                       "INSERT_PROPERTY", "_QT_SELECTION", "CLIPBOARD_MANAGER"};
    return std::any_of(std::begin(meta), std::end(meta), [&](const char* m) { return name == m; });
}

} // namespace

std::string packPropertyItems(const unsigned char* data, unsigned long count, int format) {
    std::string bytes;
    if (format == 8) {
        bytes.assign(reinterpret_cast<const char*>(data), count);
    } else if (format == 16) {
        const auto* items = reinterpret_cast<const short*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            const auto value = static_cast<std::uint16_t>(items[i]);
            bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
    } else if (format == 32) {
        const auto* items = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            const auto value = static_cast<std::uint32_t>(items[i]);
            bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
    }
    return bytes;
}

std::vector<unsigned char> unpackPropertyItems(const std::string& bytes, int format,
                                               unsigned long& count) {
    std::vector<unsigned char> out;
    if (format == 16) {
        count = bytes.size() / 2;
        out.resize(count * sizeof(short));
        for (unsigned long i = 0; i < count; ++i) {
            std::uint16_t value = 0;
            std::memcpy(&value, bytes.data() + i * 2, 2);
            const auto item = static_cast<short>(value);
            std::memcpy(out.data() + i * sizeof(short), &item, sizeof item);
        }
    } else if (format == 32) {
        count = bytes.size() / 4;
        out.resize(count * sizeof(long));
        for (unsigned long i = 0; i < count; ++i) {
            std::uint32_t value = 0;
            std::memcpy(&value, bytes.data() + i * 4, 4);
            const long item = value;
            std::memcpy(out.data() + i * sizeof(long), &item, sizeof item);
        }
    } else {
        count = bytes.size();
        out.assign(bytes.begin(), bytes.end());
    }
    return out;
}

std::unique_ptr<X11SelectionReader> X11SelectionReader::create(std::string& error) {
    DisplayOpening opened = openDisplay();
    if (!opened.display) {
        error = opened.error;
        return nullptr;
    }
    return std::make_unique<X11SelectionReader>(std::move(opened.display));
}

X11SelectionReader::X11SelectionReader(DisplayHandle display) : display_(std::move(display)) {
    Display* d = display_.get();
    window_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d, window_, PropertyChangeMask);
    property_ = internAtom(d, "TAMSEL_SELECTION");
    incr_ = internAtom(d, "INCR");
    XFlush(d);
}

X11SelectionReader::~X11SelectionReader() {
    XDestroyWindow(display_.get(), window_);
}

bool X11SelectionReader::waitFor(int type, std::chrono::steady_clock::time_point deadline,
                                 XEvent& event) {
    Display* d = display_.get();
    while (true) {
        while (XCheckTypedWindowEvent(d, window_, type, &event)) {
            if (type != PropertyNotify ||
                (event.xproperty.atom == property_ && event.xproperty.state == PropertyNewValue)) {
                return true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left.count()));
        XEventsQueued(d, QueuedAfterReading);
    }
}

std::optional<SelectionData>
X11SelectionReader::takeProperty(Atom target, std::chrono::steady_clock::time_point deadline) {
    Display* d = display_.get();
    auto readOnce = [&](Atom& type, int& format, std::string& bytes) {
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        // The owner may hand over as much as it likes in one property.
        if (XGetWindowProperty(d, window_, property_, 0, LONG_MAX / 4, True, AnyPropertyType, &type,
                               &format, &count, &remaining, &data) != Success) {
            return false;
        }
        bytes = data ? packPropertyItems(data, count, format) : std::string();
        if (data) {
            XFree(data);
        }
        return true;
    };
    SelectionData result;
    result.target = atomName(d, target);
    Atom type = None;
    if (!readOnce(type, result.format, result.bytes)) {
        return std::nullopt;
    }
    if (type != incr_) {
        if (type == None) {
            return std::nullopt;
        }
        result.type = atomName(d, type);
        return result;
    }
    // INCR: deleting the property (done by the read) asks for the next chunk;
    // an empty chunk ends the transfer.
    result.bytes.clear();
    while (true) {
        XEvent event;
        if (!waitFor(PropertyNotify, deadline, event)) {
            return std::nullopt;
        }
        std::string chunk;
        int format = 8;
        if (!readOnce(type, format, chunk)) {
            return std::nullopt;
        }
        if (chunk.empty()) {
            return result;
        }
        result.type = atomName(d, type);
        result.format = format;
        result.bytes += chunk;
    }
}

std::optional<SelectionData>
X11SelectionReader::convert(Atom selection, Atom target,
                            std::chrono::steady_clock::time_point deadline) {
    Display* d = display_.get();
    XEvent stale;
    while (XCheckTypedWindowEvent(d, window_, PropertyNotify, &stale)) {
    }
    XDeleteProperty(d, window_, property_);
    XConvertSelection(d, selection, target, property_, window_, CurrentTime);
    XFlush(d);
    XEvent event;
    while (true) {
        if (!waitFor(SelectionNotify, deadline, event)) {
            return std::nullopt;
        }
        if (event.xselection.selection == selection && event.xselection.target == target) {
            break;
        }
    }
    if (event.xselection.property == None) {
        return std::nullopt; // the owner refused this target
    }
    // What arrived before the answer belongs to the answer itself.
    while (XCheckTypedWindowEvent(d, window_, PropertyNotify, &stale)) {
    }
    return takeProperty(target, deadline);
}

std::optional<std::vector<SelectionData>> X11SelectionReader::read(const std::string& selection) {
    std::lock_guard guard(mutex_);
    Display* d = display_.get();
    X11ErrorTrap trap(d);
    const Atom selectionAtom = internAtom(d, selection.c_str());
    if (XGetSelectionOwner(d, selectionAtom) == None) {
        return std::vector<SelectionData>{};
    }
    const Atom targetsAtom = internAtom(d, "TARGETS");
    // One limit for the whole capture: an owner slow on each of a dozen
    // formats must not hold the paste for a dozen seconds.
    const auto deadline = std::chrono::steady_clock::now() + captureLimit;
    auto targets = convert(selectionAtom, targetsAtom, deadline);
    if (!targets || targets->format != 32) {
        return std::nullopt;
    }
    std::vector<SelectionData> contents;
    for (std::size_t offset = 0; offset + 4 <= targets->bytes.size(); offset += 4) {
        std::uint32_t atom = 0;
        std::memcpy(&atom, targets->bytes.data() + offset, 4);
        const std::string name = atomName(d, atom);
        if (name.empty() || isMetaTarget(name) ||
            std::any_of(contents.begin(), contents.end(),
                        [&](const SelectionData& c) { return c.target == name; })) {
            continue;
        }
        // A target the owner lists but cannot deliver is left out.
        if (auto data = convert(selectionAtom, atom, deadline)) {
            contents.push_back(std::move(*data));
        }
    }
    return contents;
}

} // namespace tamsel
