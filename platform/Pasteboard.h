#pragma once

// A system pasteboard (on X11: the clipboard or the primary selection) with
// its items, each holding data in several types. Data are raw bytes.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tamsel {

class PasteboardItem {
public:
    virtual ~PasteboardItem() = default;
    // In the item's own order, richest first.
    virtual std::vector<std::string> types() const = 0;
    // No value when the data of that type cannot be read.
    virtual std::optional<std::string> data(std::string_view type) const = 0;
};

// A new item to write: (type, data) pairs in order.
using PasteboardItemContents = std::vector<std::pair<std::string, std::string>>;

class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // The current items in order; no value when the pasteboard gives no list.
    virtual std::optional<std::vector<std::unique_ptr<PasteboardItem>>> items() = 0;
    virtual void clearContents() = 0;
    // Puts the text on the pasteboard under its plain-text type.
    virtual bool setString(std::string_view text) = 0;
    // Writes every item in one go, after clearContents().
    virtual bool writeObjects(const std::vector<PasteboardItemContents>& items) = 0;

    // Whether what we wrote last is still there, or another program has put
    // something of its own on the pasteboard since.
    virtual bool holdsWrittenContents() { return true; }
    // Blocks until some application has read what we wrote last, or the
    // timeout passes. Pasteboards that cannot tell return at once.
    virtual void waitUntilRead(std::chrono::milliseconds timeout) { (void)timeout; }
};

} // namespace tamsel
