#pragma once

// A system pasteboard (on X11: the clipboard or the primary selection) with
// its items, each holding data in several types. Data are raw bytes.

#include <cstdint>
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

// An item whose data were all read already, as clipboards that hand data
// over a pipe give them.
class StoredPasteboardItem final : public PasteboardItem {
public:
    explicit StoredPasteboardItem(PasteboardItemContents contents)
        : contents_(std::move(contents)) {}
    std::vector<std::string> types() const override {
        std::vector<std::string> names;
        for (const auto& [type, data] : contents_) {
            names.push_back(type);
        }
        return names;
    }
    std::optional<std::string> data(std::string_view type) const override {
        for (const auto& [name, bytes] : contents_) {
            if (name == type) {
                return bytes;
            }
        }
        return std::nullopt;
    }

private:
    PasteboardItemContents contents_;
};

class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Whether the pasteboard can be borrowed now. One the desktop has not
    // shared with us cannot: prompts are typed then.
    virtual bool available() { return true; }

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

    // Replaces the contents with a text we only borrow the pasteboard for,
    // marked so that clipboard histories leave it out. A pasteboard that can
    // change owners in one step never passes through an empty state.
    virtual bool offerTemporaryText(std::string_view text) {
        clearContents();
        return setString(text);
    }
    // Puts `items` back (none: leaves the pasteboard empty) unless another
    // program has put something of its own there since our last write, in
    // which case the pasteboard is left alone. True when given back.
    virtual bool giveBack(const std::vector<PasteboardItemContents>& items) {
        if (!holdsWrittenContents()) {
            return false;
        }
        clearContents();
        if (!items.empty()) {
            writeObjects(items);
        }
        return true;
    }
    // From now on, watch for the application that owns `window` (0: any
    // application) reading what we wrote last. Readers that came earlier,
    // such as clipboard histories reacting to every change, do not count.
    virtual void expectReadBy(std::uint64_t window) { (void)window; }
    // Whether that read has happened. Pasteboards that cannot tell say yes.
    virtual bool readAsExpected() { return true; }
};

} // namespace tamsel
