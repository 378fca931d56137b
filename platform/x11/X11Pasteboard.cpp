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

bool X11Pasteboard::writeObjects(const std::vector<PasteboardItemContents>& items) {
    if (items.empty()) {
        return true;
    }
    std::vector<SelectionData> contents;
    for (const auto& [target, bytes] : items.front()) {
        SelectionData data{target, target, 8, bytes};
        if (auto shape = shapes_.find(target); shape != shapes_.end()) {
            data.type = shape->second.first;
            data.format = shape->second.second;
        }
        contents.push_back(std::move(data));
    }
    return owner_->own(selection_, std::move(contents));
}

bool X11Pasteboard::holdsWrittenContents() {
    return owner_->owns(selection_);
}

void X11Pasteboard::waitUntilRead(std::chrono::milliseconds timeout) {
    owner_->waitUntilRead(timeout);
}

} // namespace tamsel
