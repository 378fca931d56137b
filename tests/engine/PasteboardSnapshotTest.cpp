#include "engine/PasteboardSnapshot.h"

#include <gtest/gtest.h>

#include "platform/fake/FakePasteboard.h"

using namespace tamsel;
using Kind = TimelineEntry::Kind;

namespace {

class PasteboardSnapshotTest : public ::testing::Test {
protected:
    std::vector<Kind> operations() const {
        std::vector<Kind> out;
        for (const TimelineEntry& entry : timeline->entries()) {
            out.push_back(entry.kind);
        }
        return out;
    }

    std::shared_ptr<Timeline> timeline =
        std::make_shared<Timeline>(std::make_shared<VirtualClock>());
    FakePasteboard pasteboard{"general", timeline};
};

TEST_F(PasteboardSnapshotTest, CapturesItemsAndTypesInOrderLeavingOutUnreadableData) {
    pasteboard.setContents({
        {{"public.html", "<b>x</b>"}, {"public.utf8-plain-text", "x"}, {"dyn.broken", {}}},
        {},
        {{"public.file-url", "file:///tmp/a"}},
    });
    PasteboardSnapshot snapshot = PasteboardSnapshot::capture(pasteboard);
    EXPECT_EQ(snapshot.items, (std::vector<PasteboardItemContents>{
                                  {{"public.html", "<b>x</b>"}, {"public.utf8-plain-text", "x"}},
                                  {},
                                  {{"public.file-url", "file:///tmp/a"}},
                              }));
    EXPECT_EQ(operations(), std::vector<Kind>{Kind::pasteboardRead});
}

TEST_F(PasteboardSnapshotTest, NoItemListCapturesNothing) {
    pasteboard.setContents({{{"public.utf8-plain-text", "x"}}});
    pasteboard.setReturnsNoList(true);
    EXPECT_TRUE(PasteboardSnapshot::capture(pasteboard).items.empty());
}

TEST_F(PasteboardSnapshotTest, RestoreWritesAllItemsInOneGoOverWhateverIsThere) {
    PasteboardSnapshot snapshot{{{{"a", "1"}, {"b", "2"}}, {{"c", "3"}}}};
    pasteboard.setContents({{{"public.utf8-plain-text", "copied meanwhile"}}});
    snapshot.restore(pasteboard);
    EXPECT_EQ(operations(), (std::vector<Kind>{Kind::pasteboardClear, Kind::pasteboardWrite}));
    EXPECT_EQ(pasteboard.contents(),
              (std::vector<FakePasteboard::Item>{{{"a", "1"}, {"b", "2"}}, {{"c", "3"}}}));
    EXPECT_EQ(PasteboardSnapshot::capture(pasteboard), snapshot);
}

TEST_F(PasteboardSnapshotTest, RestoringNothingOnlyClears) {
    pasteboard.setContents({{{"public.utf8-plain-text", "payload"}}});
    PasteboardSnapshot{}.restore(pasteboard);
    EXPECT_EQ(operations(), std::vector<Kind>{Kind::pasteboardClear});
    EXPECT_TRUE(pasteboard.contents().empty());
}

} // namespace
