#pragma once

// A copy of everything a pasteboard holds, to put back after we borrowed it.

#include <vector>

#include "platform/Pasteboard.h"

namespace tamsel {

struct PasteboardSnapshot {
    // One entry per item, in the pasteboard's order; each keeps the item's
    // types in their order (richest first) with the data of every type that
    // could be read.
    std::vector<PasteboardItemContents> items;
    // False when the pasteboard gave no list at all (under X11: its owner did
    // not answer in time). Such a snapshot must never be "restored": that
    // would clear what the user had.
    bool complete = true;

    static PasteboardSnapshot capture(Pasteboard& pasteboard);
    // Clears the pasteboard and writes the items back in one go; an empty
    // snapshot leaves it empty.
    void restore(Pasteboard& pasteboard) const;

    bool operator==(const PasteboardSnapshot&) const = default;
};

} // namespace tamsel
