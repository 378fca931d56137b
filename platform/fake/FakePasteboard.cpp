#include "platform/fake/FakePasteboard.h"

namespace tamsel {

namespace {

class FakeItem final : public PasteboardItem {
public:
    explicit FakeItem(FakePasteboard::Item item) : item_(std::move(item)) {}

    std::vector<std::string> types() const override {
        std::vector<std::string> out;
        for (const auto& [type, data] : item_) {
            out.push_back(type);
        }
        return out;
    }

    std::optional<std::string> data(std::string_view type) const override {
        for (const auto& [itemType, data] : item_) {
            if (itemType == type) {
                return data;
            }
        }
        return std::nullopt;
    }

private:
    FakePasteboard::Item item_;
};

TimelineEntry operation(TimelineEntry::Kind kind) {
    TimelineEntry entry;
    entry.kind = kind;
    return entry;
}

} // namespace

FakePasteboard::FakePasteboard(std::string name, std::shared_ptr<Timeline> timeline)
    : name_(std::move(name)), timeline_(std::move(timeline)) {}

void FakePasteboard::record(TimelineEntry entry) {
    entry.pasteboard = name_;
    timeline_->record(std::move(entry));
}

std::optional<std::vector<std::unique_ptr<PasteboardItem>>> FakePasteboard::items() {
    record(operation(TimelineEntry::Kind::pasteboardRead));
    std::lock_guard guard(mutex_);
    if (returnsNoList_) {
        return std::nullopt;
    }
    std::vector<std::unique_ptr<PasteboardItem>> out;
    for (const Item& item : items_) {
        out.push_back(std::make_unique<FakeItem>(item));
    }
    return out;
}

void FakePasteboard::clearContents() {
    record(operation(TimelineEntry::Kind::pasteboardClear));
    std::lock_guard guard(mutex_);
    items_.clear();
}

bool FakePasteboard::setString(std::string_view text) {
    TimelineEntry entry = operation(TimelineEntry::Kind::pasteboardSetString);
    entry.text = text;
    record(std::move(entry));
    std::lock_guard guard(mutex_);
    // Like the real pasteboard: the text goes on the first item, made if need be.
    if (items_.empty()) {
        items_.emplace_back();
    }
    items_.front().emplace_back(plainTextType, std::string(text));
    return true;
}

bool FakePasteboard::writeObjects(const std::vector<PasteboardItemContents>& items) {
    TimelineEntry entry = operation(TimelineEntry::Kind::pasteboardWrite);
    entry.written = items;
    record(std::move(entry));
    std::lock_guard guard(mutex_);
    for (const PasteboardItemContents& contents : items) {
        Item item;
        for (const auto& [type, data] : contents) {
            item.emplace_back(type, data);
        }
        items_.push_back(std::move(item));
    }
    return true;
}

void FakePasteboard::setContents(std::vector<Item> items) {
    std::lock_guard guard(mutex_);
    items_ = std::move(items);
}

std::vector<FakePasteboard::Item> FakePasteboard::contents() const {
    std::lock_guard guard(mutex_);
    return items_;
}

void FakePasteboard::setReturnsNoList(bool value) {
    std::lock_guard guard(mutex_);
    returnsNoList_ = value;
}

bool FakePasteboard::holdsWrittenContents() {
    std::lock_guard guard(mutex_);
    return !replaced_;
}

void FakePasteboard::replaceAsAnotherApplication(std::vector<Item> items) {
    std::lock_guard guard(mutex_);
    items_ = std::move(items);
    replaced_ = true;
}

} // namespace tamsel
