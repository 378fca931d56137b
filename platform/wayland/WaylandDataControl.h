#pragma once

// The Wayland clipboard and primary selection through the data-control
// protocol, which lets a client read and set them without having a window
// in focus. One connection and one event thread serve both selections; the
// thread answers other clients' requests for what we offer.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/wayland/WaylandConnection.h"

struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace tamsel {

enum class WaylandSelection { clipboard, primary };

class WaylandDataControl {
public:
    // No value, and the reason in `error`, when the compositor has no data
    // control (GNOME has none).
    static std::shared_ptr<WaylandDataControl> create(std::string& error);
    ~WaylandDataControl();
    WaylandDataControl(const WaylandDataControl&) = delete;
    WaylandDataControl& operator=(const WaylandDataControl&) = delete;

    // Whether the compositor keeps a primary selection for us to use.
    bool hasPrimary() const { return hasPrimary_; }

    // The current contents, every type read in full within `limit` for all
    // types together; a type that does not arrive in time is left out. No
    // value when the selection is empty.
    std::optional<std::vector<std::pair<std::string, std::string>>>
    read(WaylandSelection selection, std::chrono::milliseconds limit);
    // Offers `contents` (type, bytes) as the selection; empty clears it.
    bool offer(WaylandSelection selection, std::vector<std::pair<std::string, std::string>> contents);
    // Whether what we offered last is still the selection.
    bool holdsOffer(WaylandSelection selection);
    // How many times another client asked for what we offered last.
    int readsOfOffer(WaylandSelection selection);

    struct Source;
    struct Offer;
    struct Listeners;

    explicit WaylandDataControl(std::unique_ptr<WaylandConnection> connection); // use create()

private:
    friend struct Listeners;
    void eventLoop();
    void replaceOffer(WaylandSelection selection, zwlr_data_control_offer_v1* offer);

    std::unique_ptr<WaylandConnection> connection_;
    zwlr_data_control_manager_v1* manager_ = nullptr;
    zwlr_data_control_device_v1* device_ = nullptr;
    bool hasPrimary_ = false;

    std::mutex mutex_;
    // Offers announced but not yet named as a selection, and their types.
    std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> offers_;
    zwlr_data_control_offer_v1* current_[2] = {nullptr, nullptr};
    std::unique_ptr<Source> sources_[2];

    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// One selection as the injector's pasteboard.
class WaylandPasteboard final : public Pasteboard {
public:
    WaylandPasteboard(std::shared_ptr<WaylandDataControl> control, WaylandSelection selection)
        : control_(std::move(control)), selection_(selection) {}

    std::optional<std::vector<std::unique_ptr<PasteboardItem>>> items() override;
    void clearContents() override;
    bool setString(std::string_view text) override;
    bool writeObjects(const std::vector<PasteboardItemContents>& items) override;
    bool holdsWrittenContents() override { return control_->holdsOffer(selection_); }
    bool offerTemporaryText(std::string_view text) override;
    // Data control cannot compare owners in one step: the check and the
    // write are as close together as the protocol allows.
    bool giveBack(const std::vector<PasteboardItemContents>& items) override;
    // Wayland does not say who reads: any read after this counts.
    void expectReadBy(std::uint64_t window) override;
    bool readAsExpected() override;

    // One total limit for reading every type of the previous contents.
    static constexpr std::chrono::milliseconds captureLimit{1000};

private:
    std::shared_ptr<WaylandDataControl> control_;
    WaylandSelection selection_;
    int readsBeforeExpecting_ = 0;
};

} // namespace tamsel
