#include "platform/wayland/WaylandDataControl.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <wayland-client.h>

#include "core/toolkit/FileDescriptor.h"
#include "platform/wayland/wlr-data-control-unstable-v1-client-protocol.h"

namespace tamsel {

namespace {

using Contents = std::vector<std::pair<std::string, std::string>>;

int index(WaylandSelection selection) { return selection == WaylandSelection::clipboard ? 0 : 1; }

// Writes everything, then closes: a reader slower than us must not hold up
// the event thread, so each answer gets a short-lived thread of its own.
void answer(int fd, std::shared_ptr<const std::string> data) {
    std::thread([fd, data = std::move(data)] {
        FileDescriptor out(fd);
        const int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        std::size_t written = 0;
        while (written < data->size()) {
            const ssize_t count = write(fd, data->data() + written, data->size() - written);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return; // the reader went away
            }
            written += static_cast<std::size_t>(count);
        }
    }).detach();
}

// Reads until the writer closes its end or the deadline passes.
std::optional<std::string> drain(int fd, std::chrono::steady_clock::time_point deadline) {
    std::string data;
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return std::nullopt;
        }
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            return data;
        }
        data.append(buffer, static_cast<std::size_t>(count));
    }
}

} // namespace

struct WaylandDataControl::Source {
    zwlr_data_control_source_v1* proxy = nullptr;
    std::map<std::string, std::shared_ptr<const std::string>> data;
    bool cancelled = false;
    int reads = 0;
};

struct WaylandDataControl::Listeners {
    static void offerType(void* data, zwlr_data_control_offer_v1* offer, const char* type) {
        auto* self = static_cast<WaylandDataControl*>(data);
        std::lock_guard lock(self->mutex_);
        self->offers_[offer].emplace_back(type);
    }
    static void dataOffer(void* data, zwlr_data_control_device_v1*,
                          zwlr_data_control_offer_v1* offer) {
        static const zwlr_data_control_offer_v1_listener listener{offerType};
        auto* self = static_cast<WaylandDataControl*>(data);
        {
            std::lock_guard lock(self->mutex_);
            self->offers_[offer];
        }
        zwlr_data_control_offer_v1_add_listener(offer, &listener, self);
    }
    static void selection(void* data, zwlr_data_control_device_v1*,
                          zwlr_data_control_offer_v1* offer) {
        static_cast<WaylandDataControl*>(data)->replaceOffer(WaylandSelection::clipboard, offer);
    }
    static void primarySelection(void* data, zwlr_data_control_device_v1*,
                                 zwlr_data_control_offer_v1* offer) {
        static_cast<WaylandDataControl*>(data)->replaceOffer(WaylandSelection::primary, offer);
    }
    static void finished(void*, zwlr_data_control_device_v1*) {}

    static void send(void* data, zwlr_data_control_source_v1* source, const char* type, int fd) {
        auto* self = static_cast<WaylandDataControl*>(data);
        std::shared_ptr<const std::string> bytes;
        {
            std::lock_guard lock(self->mutex_);
            for (auto& held : self->sources_) {
                if (held && held->proxy == source) {
                    if (auto found = held->data.find(type); found != held->data.end()) {
                        bytes = found->second;
                    }
                    ++held->reads;
                }
            }
        }
        if (bytes) {
            answer(fd, std::move(bytes));
        } else {
            close(fd);
        }
    }
    static void cancelled(void* data, zwlr_data_control_source_v1* source) {
        auto* self = static_cast<WaylandDataControl*>(data);
        std::lock_guard lock(self->mutex_);
        for (auto& held : self->sources_) {
            if (held && held->proxy == source) {
                held->cancelled = true;
            }
        }
        zwlr_data_control_source_v1_destroy(source);
        for (auto& held : self->sources_) {
            if (held && held->proxy == source) {
                held->proxy = nullptr;
            }
        }
    }
};

namespace {

const zwlr_data_control_device_v1_listener deviceListener{
    WaylandDataControl::Listeners::dataOffer, WaylandDataControl::Listeners::selection,
    WaylandDataControl::Listeners::finished, WaylandDataControl::Listeners::primarySelection};
const zwlr_data_control_source_v1_listener sourceListener{
    WaylandDataControl::Listeners::send, WaylandDataControl::Listeners::cancelled};

} // namespace

std::shared_ptr<WaylandDataControl> WaylandDataControl::create(std::string& error) {
    auto connection = WaylandConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    if (!connection->global(zwlr_data_control_manager_v1_interface.name)) {
        error = "this Wayland compositor offers no data control (zwlr_data_control_manager_v1)";
        return nullptr;
    }
    if (!connection->seat()) {
        error = "this Wayland compositor has no seat";
        return nullptr;
    }
    auto control = std::make_shared<WaylandDataControl>(std::move(connection));
    if (!control->device_) {
        error = "the Wayland compositor refused a data-control device";
        return nullptr;
    }
    return control;
}

WaylandDataControl::WaylandDataControl(std::unique_ptr<WaylandConnection> connection)
    : connection_(std::move(connection)) {
    manager_ = static_cast<zwlr_data_control_manager_v1*>(
        connection_->bind(zwlr_data_control_manager_v1_interface, 2));
    if (!manager_) {
        return;
    }
    hasPrimary_ = zwlr_data_control_manager_v1_get_version(manager_) >= 2;
    device_ = zwlr_data_control_manager_v1_get_data_device(manager_, connection_->seat());
    zwlr_data_control_device_v1_add_listener(device_, &deviceListener, this);
    // The current selections arrive right after the device is made.
    connection_->roundtrip();
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = wake[0];
        wakeWrite_ = wake[1];
    }
    thread_ = std::thread([this] { eventLoop(); });
}

WaylandDataControl::~WaylandDataControl() {
    stopping_ = true;
    if (wakeWrite_ >= 0) {
        const char byte = 0;
        [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &byte, 1);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (auto& held : sources_) {
        if (held && held->proxy) {
            zwlr_data_control_source_v1_destroy(held->proxy);
        }
    }
    for (auto& [offer, types] : offers_) {
        zwlr_data_control_offer_v1_destroy(offer);
    }
    if (device_) {
        zwlr_data_control_device_v1_destroy(device_);
    }
    if (manager_) {
        zwlr_data_control_manager_v1_destroy(manager_);
    }
    wl_display_flush(connection_->display());
    for (int fd : {wakeRead_, wakeWrite_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void WaylandDataControl::eventLoop() {
    wl_display* display = connection_->display();
    while (!stopping_) {
        while (wl_display_prepare_read(display) != 0) {
            wl_display_dispatch_pending(display);
        }
        wl_display_flush(display);
        pollfd waiting[2] = {{wl_display_get_fd(display), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(waiting, 2, 1000) > 0 && (waiting[0].revents & POLLIN)) {
            if (wl_display_read_events(display) < 0) {
                return; // the compositor is gone
            }
        } else {
            wl_display_cancel_read(display);
        }
        if ((waiting[0].revents & (POLLHUP | POLLERR)) != 0) {
            return;
        }
        wl_display_dispatch_pending(display);
    }
}

void WaylandDataControl::replaceOffer(WaylandSelection selection,
                                      zwlr_data_control_offer_v1* offer) {
    std::lock_guard lock(mutex_);
    zwlr_data_control_offer_v1*& current = current_[index(selection)];
    zwlr_data_control_offer_v1* previous = current;
    current = offer;
    // An offer may serve both selections; it goes when neither names it.
    if (previous && previous != current_[0] && previous != current_[1]) {
        offers_.erase(previous);
        zwlr_data_control_offer_v1_destroy(previous);
    }
}

std::optional<Contents> WaylandDataControl::read(WaylandSelection selection,
                                                 std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::pair<std::string, FileDescriptor>> pending;
    {
        std::lock_guard lock(mutex_);
        zwlr_data_control_offer_v1* offer = current_[index(selection)];
        if (!offer) {
            return std::nullopt;
        }
        for (const std::string& type : offers_[offer]) {
            int pipeEnds[2];
            if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
                continue;
            }
            zwlr_data_control_offer_v1_receive(offer, type.c_str(), pipeEnds[1]);
            close(pipeEnds[1]);
            pending.emplace_back(type, FileDescriptor(pipeEnds[0]));
        }
        wl_display_flush(connection_->display());
    }
    Contents contents;
    for (auto& [type, fd] : pending) {
        if (auto data = drain(fd.get(), deadline)) {
            contents.emplace_back(type, std::move(*data));
        }
    }
    return contents;
}

bool WaylandDataControl::offer(WaylandSelection selection, Contents contents) {
    std::lock_guard lock(mutex_);
    auto& held = sources_[index(selection)];
    if (held && held->proxy) {
        zwlr_data_control_source_v1_destroy(held->proxy);
    }
    held.reset();
    if (selection == WaylandSelection::primary && !hasPrimary_) {
        return false;
    }
    zwlr_data_control_source_v1* source = nullptr;
    if (!contents.empty()) {
        auto fresh = std::make_unique<Source>();
        source = zwlr_data_control_manager_v1_create_data_source(manager_);
        zwlr_data_control_source_v1_add_listener(source, &sourceListener, this);
        for (auto& [type, bytes] : contents) {
            if (fresh->data.count(type) == 0) {
                zwlr_data_control_source_v1_offer(source, type.c_str());
                fresh->data[type] = std::make_shared<const std::string>(std::move(bytes));
            }
        }
        fresh->proxy = source;
        held = std::move(fresh);
    }
    if (selection == WaylandSelection::clipboard) {
        zwlr_data_control_device_v1_set_selection(device_, source);
    } else {
        zwlr_data_control_device_v1_set_primary_selection(device_, source);
    }
    return wl_display_flush(connection_->display()) >= 0;
}

bool WaylandDataControl::holdsOffer(WaylandSelection selection) {
    std::lock_guard lock(mutex_);
    const auto& held = sources_[index(selection)];
    return held && !held->cancelled;
}

int WaylandDataControl::readsOfOffer(WaylandSelection selection) {
    std::lock_guard lock(mutex_);
    const auto& held = sources_[index(selection)];
    return held ? held->reads : 0;
}

namespace {

// The types a text is offered under: what GTK, Qt and terminals ask for.
Contents textContents(std::string_view text) {
    Contents contents;
    for (const char* type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING",
                             "TEXT"}) {
        contents.emplace_back(type, std::string(text));
    }
    return contents;
}

} // namespace

std::optional<std::vector<std::unique_ptr<PasteboardItem>>> WaylandPasteboard::items() {
    std::vector<std::unique_ptr<PasteboardItem>> items;
    auto contents = control_->read(selection_, captureLimit);
    if (contents && !contents->empty()) {
        items.push_back(std::make_unique<StoredPasteboardItem>(std::move(*contents)));
    }
    return items;
}

void WaylandPasteboard::clearContents() { control_->offer(selection_, {}); }

bool WaylandPasteboard::setString(std::string_view text) {
    return control_->offer(selection_, textContents(text));
}

bool WaylandPasteboard::offerTemporaryText(std::string_view text) {
    Contents contents = textContents(text);
    // The hint password managers set, which clipboard histories honour by
    // keeping nothing; one history also knows a spelling of its own.
    contents.emplace_back("x-kde-passwordManagerHint", "secret");
    contents.emplace_back("application/x-copyq-hidden", "1");
    // One set_selection replaces the previous owner: never an empty moment.
    return control_->offer(selection_, std::move(contents));
}

bool WaylandPasteboard::giveBack(const std::vector<PasteboardItemContents>& items) {
    if (!control_->holdsOffer(selection_)) {
        return false;
    }
    return writeObjects(items) || items.empty();
}

void WaylandPasteboard::expectReadBy(std::uint64_t) {
    readsBeforeExpecting_ = control_->readsOfOffer(selection_);
}

bool WaylandPasteboard::readAsExpected() {
    return control_->readsOfOffer(selection_) > readsBeforeExpecting_;
}

bool WaylandPasteboard::writeObjects(const std::vector<PasteboardItemContents>& items) {
    Contents contents;
    for (const auto& item : items) {
        contents.insert(contents.end(), item.begin(), item.end());
    }
    return control_->offer(selection_, std::move(contents));
}


} // namespace tamsel
