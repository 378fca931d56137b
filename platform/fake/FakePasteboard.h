#pragma once

// An in-memory pasteboard whose every operation lands in the timeline.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/fake/Timeline.h"

namespace tamsel {

class FakePasteboard final : public Pasteboard {
public:
    // A type whose data is absent cannot be read.
    using Item = std::vector<std::pair<std::string, std::optional<std::string>>>;
    static constexpr const char* plainTextType = "public.utf8-plain-text";

    FakePasteboard(std::string name, std::shared_ptr<Timeline> timeline);

    std::optional<std::vector<std::unique_ptr<PasteboardItem>>> items() override;
    void clearContents() override;
    bool setString(std::string_view text) override;
    bool writeObjects(const std::vector<PasteboardItemContents>& items) override;

    bool holdsWrittenContents() override;

    void setContents(std::vector<Item> items);
    // Stands for another program copying after our last write: that write
    // no longer holds the pasteboard.
    void replaceAsAnotherApplication(std::vector<Item> items);
    std::vector<Item> contents() const;
    // The pasteboard answers with no item list at all.
    void setReturnsNoList(bool value);

private:
    void record(TimelineEntry entry);

    std::string name_;
    std::shared_ptr<Timeline> timeline_;
    mutable std::mutex mutex_;
    std::vector<Item> items_;
    bool returnsNoList_ = false;
    bool replaced_ = false;
};

} // namespace tamsel
