#include "platform/wayland/WaylandDataControl.h"

#include <gtest/gtest.h>

#include "tests/support/SwaySession.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

class WaylandDataControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        sway.enter();
        std::string error;
        control = WaylandDataControl::create(error);
        ASSERT_TRUE(control) << error;
        ASSERT_TRUE(control->hasPrimary());
    }

    // Another client copies, as a user's application would (wl-copy stays to serve it).
    void copy(const std::string& bytes, const std::string& type, bool primary = false) {
        const auto input = sway.folder() / "input";
        writeFile(input, bytes);
        std::vector<std::string> arguments{"sh", "-c",
                                           std::string("wl-copy ") + (primary ? "--primary " : "") +
                                               "--type '" + type + "' < " + input.string()};
        ChildProcess(arguments, sway.environment()).waitForExit(5s);
    }
    // Another client pastes.
    std::string paste(const std::string& type, bool primary = false) {
        const auto output = sway.folder() / "pasted";
        std::filesystem::remove(output);
        ChildProcess reader({"wl-paste", "--no-newline", primary ? "--primary" : "--no-newline",
                             "--type", type},
                            sway.environment(), output.string());
        reader.waitForExit(5s);
        return readFile(output);
    }
    std::optional<std::string> typeIn(const std::vector<std::pair<std::string, std::string>>& contents,
                                      const std::string& type) {
        for (const auto& [name, bytes] : contents) {
            if (name == type) {
                return bytes;
            }
        }
        return std::nullopt;
    }
    bool waitForSelection(WaylandSelection selection, const std::string& type,
                          const std::string& bytes) {
        return waitUntil([&] {
            auto contents = control->read(selection, 1s);
            return contents && typeIn(*contents, type) == bytes;
        });
    }

    SwaySession sway;
    std::shared_ptr<WaylandDataControl> control;
};

} // namespace

TEST_F(WaylandDataControlTest, ReadsWhatOthersCopyAndOffersWhatTheyPaste) {
    copy("the user's words", "text/plain;charset=utf-8");
    ASSERT_TRUE(waitForSelection(WaylandSelection::clipboard, "text/plain;charset=utf-8",
                                 "the user's words"));

    WaylandPasteboard clipboard(control, WaylandSelection::clipboard);
    ASSERT_TRUE(clipboard.setString("日本語の定型文"));
    EXPECT_TRUE(clipboard.holdsWrittenContents());
    EXPECT_EQ(paste("text/plain;charset=utf-8"), "日本語の定型文");
    EXPECT_EQ(paste("text/plain"), "日本語の定型文");
    EXPECT_GE(control->readsOfOffer(WaylandSelection::clipboard), 2);

    // Someone copies after us: the selection is no longer ours.
    copy("newer", "text/plain");
    EXPECT_TRUE(waitUntil([&] { return !clipboard.holdsWrittenContents(); }));
}

TEST_F(WaylandDataControlTest, EveryTypeComesBackByteForByteOnBothSelections) {
    const std::string image = noise(3 * 1024 * 1024 + 17, 7); // larger than any pipe buffer
    for (bool primary : {false, true}) {
        const WaylandSelection selection =
            primary ? WaylandSelection::primary : WaylandSelection::clipboard;
        copy(image, "image/png", primary);
        ASSERT_TRUE(waitForSelection(selection, "image/png", image)) << primary;

        WaylandPasteboard pasteboard(control, selection);
        auto items = pasteboard.items();
        ASSERT_TRUE(items && items->size() == 1);
        std::vector<PasteboardItemContents> saved{{}};
        for (const std::string& type : items->front()->types()) {
            saved.front().emplace_back(type, *items->front()->data(type));
        }
        ASSERT_TRUE(pasteboard.setString("borrowed"));
        EXPECT_EQ(paste("text/plain", primary), "borrowed");
        ASSERT_TRUE(pasteboard.writeObjects(saved));
        EXPECT_TRUE(paste("image/png", primary) == image) << "image differs, primary " << primary;
    }
}

TEST_F(WaylandDataControlTest, AnEmptySelectionReadsAsNothingAndClearingEmpties) {
    WaylandPasteboard clipboard(control, WaylandSelection::clipboard);
    ASSERT_TRUE(clipboard.setString("x"));
    // The compositor announces our own offer back to us; only then does the
    // clearing that follows have something to clear.
    ASSERT_TRUE(waitForSelection(WaylandSelection::clipboard, "text/plain", "x"));
    clipboard.clearContents();
    EXPECT_TRUE(waitUntil([&] { return !control->read(WaylandSelection::clipboard, 1s); }));
    auto items = clipboard.items();
    ASSERT_TRUE(items);
    EXPECT_TRUE(items->empty());
}
