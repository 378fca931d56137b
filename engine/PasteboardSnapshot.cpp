#include "engine/PasteboardSnapshot.h"

namespace tamsel {

PasteboardSnapshot PasteboardSnapshot::capture(Pasteboard& pasteboard) {
    PasteboardSnapshot snapshot;
    auto items = pasteboard.items();
    if (!items) {
        snapshot.complete = false;
        return snapshot;
    }
    for (const auto& item : *items) {
        PasteboardItemContents contents;
        for (std::string& type : item->types()) {
            if (auto data = item->data(type)) {
                contents.emplace_back(std::move(type), std::move(*data));
            }
        }
        snapshot.items.push_back(std::move(contents));
    }
    return snapshot;
}

void PasteboardSnapshot::restore(Pasteboard& pasteboard) const {
    pasteboard.clearContents();
    if (items.empty()) {
        return;
    }
    pasteboard.writeObjects(items);
}

} // namespace tamsel
