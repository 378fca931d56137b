// The pasteboard's borrowing rules against a real server: what we lend is
// marked as a secret, only the target's read counts, and giving back never
// overwrites a newer copy.

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "platform/x11/X11Display.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11SelectionOwner.h"
#include "platform/x11/X11SelectionReader.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

class PasteboardBorrowingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new XServer(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        ::setenv("DISPLAY", server->display().c_str(), 1);
        owner = X11SelectionOwner::create(error);
        reader = X11SelectionReader::create(error);
        ASSERT_TRUE(owner && reader) << error;
    }

    std::string xclipOut(const std::string& selection, const std::string& target) {
        ChildProcess xclip({"sh", "-c",
                            "xclip -o -selection " + selection + " -t '" + target + "' > " +
                                (folder / "out").string()},
                           {{"DISPLAY", server->display()}});
        EXPECT_EQ(xclip.waitForExit(10s), 0);
        return readFile(folder / "out");
    }

    static inline XServer* server = nullptr;
    TemporaryFolder folder;
    std::string error;
    std::shared_ptr<X11SelectionOwner> owner;
    std::shared_ptr<X11SelectionReader> reader;
};

TEST_F(PasteboardBorrowingTest, PasteboardOffersOurTextAsASecretAndCountsOnlyTheTargetsRead) {
    X11Pasteboard clipboard("CLIPBOARD", owner, reader);
    ASSERT_TRUE(clipboard.writeObjects({{{"text/html", "<i>x</i>"}, {"UTF8_STRING", "x"}}}));
    auto items = clipboard.items();
    ASSERT_TRUE(items && items->size() == 1u);
    EXPECT_EQ((*items)[0]->types(), (std::vector<std::string>{"text/html", "UTF8_STRING"}));

    ASSERT_TRUE(clipboard.offerTemporaryText("payload"));
    EXPECT_EQ(xclipOut("clipboard", "x-kde-passwordManagerHint"), "secret");

    // The application in front is another client than whoever reads first
    // (a clipboard history, here xclip).
    DisplayOpening target = openDisplay();
    ASSERT_TRUE(target.display) << target.error;
    Display* t = target.display.get();
    const Window targetWindow = XCreateSimpleWindow(t, DefaultRootWindow(t), 0, 0, 1, 1, 0, 0, 0);
    XSync(t, False);
    clipboard.expectReadBy(targetWindow);
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), "payload");
    EXPECT_FALSE(clipboard.readAsExpected());
    XConvertSelection(t, internAtom(t, "CLIPBOARD"), internAtom(t, "UTF8_STRING"),
                      internAtom(t, "TARGET_READ"), targetWindow, CurrentTime);
    XSync(t, False);
    EXPECT_TRUE(waitUntil([&] { return clipboard.readAsExpected(); }));

    // Not knowing the target, any read counts.
    clipboard.expectReadBy(0);
    EXPECT_FALSE(clipboard.readAsExpected());
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), "payload");
    EXPECT_TRUE(clipboard.readAsExpected());
}

TEST_F(PasteboardBorrowingTest, GivingBackNeverOverwritesWhatAnotherProgramCopiedMeanwhile) {
    X11Pasteboard clipboard("CLIPBOARD", owner, reader);
    const std::vector<PasteboardItemContents> previous{{{"UTF8_STRING", "previous"}}};

    ASSERT_TRUE(clipboard.offerTemporaryText("payload"));
    EXPECT_TRUE(clipboard.giveBack(previous));
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), "previous");
    EXPECT_TRUE(clipboard.holdsWrittenContents());

    ASSERT_TRUE(clipboard.offerTemporaryText("payload"));
    EXPECT_TRUE(clipboard.giveBack({}));
    EXPECT_EQ(reader->read("CLIPBOARD"), std::vector<SelectionData>{});

    ASSERT_TRUE(clipboard.offerTemporaryText("payload"));
    writeFile(folder / "in", "copied meanwhile");
    ChildProcess xclip({"sh", "-c", "xclip -i -selection clipboard < " + (folder / "in").string()},
                       {{"DISPLAY", server->display()}});
    ASSERT_EQ(xclip.waitForExit(10s), 0);
    // Even before our side has heard that it lost the selection.
    EXPECT_FALSE(clipboard.giveBack(previous));
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), "copied meanwhile");
    EXPECT_FALSE(clipboard.giveBack({}));
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), "copied meanwhile");
}

} // namespace
