#pragma once

// One X selection (CLIPBOARD or PRIMARY) as a pasteboard: read through a
// reader on the caller's thread, written by handing the contents to the
// shared selection owner. A selection holds one item; its targets are the
// item's types.

#include <map>
#include <memory>
#include <string>

#include "platform/Pasteboard.h"
#include "platform/x11/X11SelectionOwner.h"
#include "platform/x11/X11SelectionReader.h"

namespace tamsel {

class X11Pasteboard final : public Pasteboard {
public:
    // `reader` is used on the thread that calls items(), one at a time.
    X11Pasteboard(std::string selection, std::shared_ptr<X11SelectionOwner> owner,
                  std::shared_ptr<X11SelectionReader> reader);

    std::optional<std::vector<std::unique_ptr<PasteboardItem>>> items() override;
    void clearContents() override;
    bool setString(std::string_view text) override;
    bool writeObjects(const std::vector<PasteboardItemContents>& items) override;
    bool holdsWrittenContents() override;
    bool offerTemporaryText(std::string_view text) override;
    bool giveBack(const std::vector<PasteboardItemContents>& items) override;
    void expectReadBy(std::uint64_t window) override;
    bool readAsExpected() override;

    // The targets a text is offered under, richest first.
    static std::vector<SelectionData> textTargets(std::string_view text);
    // The same, marked as a secret that clipboard histories leave out.
    static std::vector<SelectionData> temporaryTextTargets(std::string_view text);

private:
    std::string selection_;
    std::shared_ptr<X11SelectionOwner> owner_;
    std::shared_ptr<X11SelectionReader> reader_;
    // Property type and format of each target as last read, so that writing
    // the contents back offers them as the owner did.
    std::map<std::string, std::pair<std::string, int>, std::less<>> shapes_;

    std::vector<SelectionData> shaped(const PasteboardItemContents& item) const;
};

} // namespace tamsel
