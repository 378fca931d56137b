#include "platform/x11/X11Pasteboard.h"

#include <algorithm>

namespace tamsel {

namespace {

class SelectionItem final : public PasteboardItem {
public:
    explicit SelectionItem(std::vector<SelectionData> contents) : contents_(std::move(contents)) {}

    std::vector<std::string> types() const override {
        std::vector<std::string> out;
        for (const SelectionData& data : contents_) {
            out.push_back(data.target);
        }
        return out;
    }

    std::optional<std::string> data(std::string_view type) const override {
        for (const SelectionData& data : contents_) {
            if (data.target == type) {
                return data.bytes;
            }
        }
        return std::nullopt;
    }

private:
    std::vector<SelectionData> contents_;
};

} // namespace

X11Pasteboard::X11Pasteboard(std::string selection, std::shared_ptr<X11SelectionOwner> owner,
                             std::shared_ptr<X11SelectionReader> reader)
    : selection_(std::move(selection)), owner_(std::move(owner)), reader_(std::move(reader)) {}

std::optional<std::vector<std::unique_ptr<PasteboardItem>>> X11Pasteboard::items() {
    auto contents = reader_->read(selection_);
    if (!contents) {
        return std::nullopt;
    }
    std::vector<std::unique_ptr<PasteboardItem>> items;
    if (contents->empty()) {
        return items;
    }
    for (const SelectionData& data : *contents) {
        shapes_[data.target] = {data.type, data.format};
    }
    items.push_back(std::make_unique<SelectionItem>(std::move(*contents)));
    return items;
}

void X11Pasteboard::clearContents() {
    owner_->disown(selection_);
}

std::vector<SelectionData> X11Pasteboard::textTargets(std::string_view text) {
    const std::string bytes(text);
    std::vector<SelectionData> targets{
        {"UTF8_STRING", "UTF8_STRING", 8, bytes},
        {"text/plain;charset=utf-8", "text/plain;charset=utf-8", 8, bytes},
        {"TEXT", "UTF8_STRING", 8, bytes},
    };
    // STRING is Latin-1; offered only where the bytes mean the same in both.
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        targets.push_back({"STRING", "STRING", 8, bytes});
        targets.push_back({"text/plain", "text/plain", 8, bytes});
    }
    return targets;
}

bool X11Pasteboard::setString(std::string_view text) {
    return owner_->own(selection_, textTargets(text));
}

std::vector<SelectionData> X11Pasteboard::temporaryTextTargets(std::string_view text) {
    std::vector<SelectionData> targets = textTargets(text);
    // The hint password managers set, which the common clipboard histories
    // honour by not keeping the contents; older releases of one of them
    // (Debian 12's) only know their own spelling of it.
    targets.push_back(
        {"x-kde-passwordManagerHint", "x-kde-passwordManagerHint", 8, std::string("secret")});
    targets.push_back(
        {"application/x-copyq-hidden", "application/x-copyq-hidden", 8, std::string("1")});
    return targets;
}

std::vector<SelectionData> X11Pasteboard::shaped(const PasteboardItemContents& item) const {
    std::vector<SelectionData> contents;
    for (const auto& [target, bytes] : item) {
        SelectionData data{target, target, 8, bytes};
        if (auto shape = shapes_.find(target); shape != shapes_.end()) {
            data.type = shape->second.first;
            data.format = shape->second.second;
        }
        contents.push_back(std::move(data));
    }
    return contents;
}

bool X11Pasteboard::writeObjects(const std::vector<PasteboardItemContents>& items) {
    if (items.empty()) {
        return true;
    }
    return owner_->own(selection_, shaped(items.front()));
}

bool X11Pasteboard::holdsWrittenContents() {
    return owner_->owns(selection_);
}

// Taking the selection from its owner is one step for the server: there is
// no moment without contents in which a clipboard manager would step in.
bool X11Pasteboard::offerTemporaryText(std::string_view text) {
    return owner_->own(selection_, temporaryTextTargets(text));
}

bool X11Pasteboard::giveBack(const std::vector<PasteboardItemContents>& items) {
    return owner_->giveBack(selection_,
                            items.empty() ? std::vector<SelectionData>{} : shaped(items.front()));
}

void X11Pasteboard::expectReadBy(std::uint64_t window) {
    owner_->expectReadBy(window);
}

bool X11Pasteboard::readAsExpected() {
    return owner_->readAsExpected();
}

} // namespace tamsel
