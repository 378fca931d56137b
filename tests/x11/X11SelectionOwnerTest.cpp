// The selection owner with the clients a desktop has: a reader asking for
// several targets at once (MULTIPLE), and a clipboard manager that takes
// over what we hold for the user when we quit.

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>

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

class SelectionOwnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("DISPLAY", server.display().c_str(), 1);
        client = openDisplay();
        ASSERT_TRUE(client.display) << client.error;
        owner = X11SelectionOwner::create(error);
        reader = X11SelectionReader::create(error);
        ASSERT_TRUE(owner && reader) << error;
    }

    Display* d() { return client.display.get(); }

    void startManager(const std::string& mode) {
        manager.emplace(
            std::vector<std::string>{TAMSEL_CLIPBOARD_MANAGER, managerLog().string(), mode},
            std::map<std::string, std::string>{{"DISPLAY", server.display()}},
            (folder / "manager.out").string());
        ASSERT_TRUE(waitUntil(
            [&] { return readFile(folder / "manager.out").find("ready") != std::string::npos; }));
    }
    std::filesystem::path managerLog() const { return folder / "manager.log"; }

    Window clipboardOwner() { return XGetSelectionOwner(d(), internAtom(d(), "CLIPBOARD")); }

    // One property of `window`, as 32-bit items.
    std::vector<unsigned long> atomsOf(Window window, Atom property) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> items;
        if (XGetWindowProperty(d(), window, property, 0, 1024, False, AnyPropertyType, &type,
                               &format, &count, &remaining, &data) == Success &&
            data != nullptr) {
            if (format == 32) {
                const auto* longs = reinterpret_cast<const unsigned long*>(data);
                items.assign(longs, longs + count);
            }
            XFree(data);
        }
        return items;
    }

    std::string textOf(Window window, Atom property) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        std::string text;
        if (XGetWindowProperty(d(), window, property, 0, 1024, False, AnyPropertyType, &type,
                               &format, &count, &remaining, &data) == Success &&
            data != nullptr) {
            text.assign(reinterpret_cast<const char*>(data), count);
            XFree(data);
        }
        return text;
    }

    // Converts CLIPBOARD's `target` into `property` of `window`; the
    // property the owner answered with (None: refused).
    std::optional<Atom> convert(Window window, const char* target, Atom property) {
        XConvertSelection(d(), internAtom(d(), "CLIPBOARD"), internAtom(d(), target), property,
                          window, CurrentTime);
        XFlush(d());
        std::optional<Atom> answer;
        waitUntil([&] {
            XEvent event;
            if (XCheckTypedWindowEvent(d(), window, SelectionNotify, &event)) {
                answer = event.xselection.property;
            }
            return answer.has_value();
        });
        return answer;
    }

    XServer server;
    TemporaryFolder folder;
    DisplayOpening client;
    std::string error;
    std::shared_ptr<X11SelectionOwner> owner;
    std::shared_ptr<X11SelectionReader> reader;
    std::optional<ChildProcess> manager;
};

const std::vector<SelectionData> usersCopy{
    {"UTF8_STRING", "UTF8_STRING", 8, "copied — コピー"},
    {"text/html", "text/html", 8, "<b>copied</b>"},
};

TEST_F(SelectionOwnerTest, MultipleAnswersEachPairAndMarksWhatItCannotGive) {
    ASSERT_TRUE(owner->own("CLIPBOARD", usersCopy));
    Window window = XCreateSimpleWindow(d(), DefaultRootWindow(d()), 0, 0, 1, 1, 0, 0, 0);
    const Atom text = internAtom(d(), "P_TEXT"), png = internAtom(d(), "P_PNG"),
               html = internAtom(d(), "P_HTML"), pairsProperty = internAtom(d(), "P_PAIRS");
    unsigned long pairs[] = {internAtom(d(), "UTF8_STRING"), text,
                             internAtom(d(), "image/png"),   png,
                             internAtom(d(), "text/html"),   html};
    XChangeProperty(d(), window, pairsProperty, internAtom(d(), "ATOM_PAIR"), 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(pairs), 6);
    EXPECT_EQ(convert(window, "MULTIPLE", pairsProperty), pairsProperty);
    const auto answered = atomsOf(window, pairsProperty);
    ASSERT_EQ(answered.size(), 6u);
    EXPECT_EQ(answered[1], text);
    EXPECT_EQ(answered[3], static_cast<unsigned long>(None)); // not offered
    EXPECT_EQ(answered[5], html);
    EXPECT_EQ(textOf(window, text), "copied — コピー");
    EXPECT_EQ(textOf(window, html), "<b>copied</b>");

    // Without a list of pairs there is nothing to answer.
    XDeleteProperty(d(), window, pairsProperty);
    EXPECT_EQ(convert(window, "MULTIPLE", pairsProperty), static_cast<Atom>(None));
    // Readers learn from TARGETS that they may ask for several at once.
    ASSERT_EQ(convert(window, "TARGETS", text), text);
    const auto targets = atomsOf(window, text);
    EXPECT_NE(std::find(targets.begin(), targets.end(), internAtom(d(), "MULTIPLE")),
              targets.end());
}

TEST_F(SelectionOwnerTest, WhatWeHoldForTheUserGoesToTheClipboardManagerAndStaysAfterUs) {
    startManager("save");
    ASSERT_TRUE(owner->own("CLIPBOARD", usersCopy));
    EXPECT_EQ(owner->handToClipboardManager(), X11SelectionOwner::Handover::handed);
    EXPECT_EQ(readFile(managerLog()),
              "saved\nUTF8_STRING copied — コピー\ntext/html <b>copied</b>\n");
    EXPECT_TRUE(waitUntil([&] { return !owner->owns("CLIPBOARD"); }));
    owner.reset(); // we quit
    EXPECT_EQ(reader->read("CLIPBOARD"), usersCopy);
}

TEST_F(SelectionOwnerTest, NothingIsHandedOverThatIsNotTheUsersOrWithoutAManager) {
    ASSERT_TRUE(owner->own("CLIPBOARD", usersCopy));
    EXPECT_EQ(owner->handToClipboardManager(), X11SelectionOwner::Handover::noManager);

    startManager("save");
    // Our own prompt, lent for a paste, is no copy of the user's.
    ASSERT_TRUE(owner->own("CLIPBOARD", X11Pasteboard::temporaryTextTargets("the prompt")));
    EXPECT_EQ(owner->handToClipboardManager(), X11SelectionOwner::Handover::nothingToHand);
    // Another program's clipboard is its own business.
    writeFile(folder / "in", "copied by hand");
    ChildProcess xclip({"sh", "-c", "xclip -i -selection clipboard < " + (folder / "in").string()},
                       {{"DISPLAY", server.display()}});
    EXPECT_EQ(xclip.waitForExit(10s), 0);
    ASSERT_TRUE(waitUntil([&] { return !owner->owns("CLIPBOARD"); }));
    EXPECT_EQ(owner->handToClipboardManager(), X11SelectionOwner::Handover::nothingToHand);
    EXPECT_EQ(readFile(managerLog()), ""); // never asked
}

TEST_F(SelectionOwnerTest, AManagerThatRefusesOrNeverAnswersCostsAtMostTheLimit) {
    startManager("refuse");
    ASSERT_TRUE(owner->own("CLIPBOARD", usersCopy));
    EXPECT_EQ(owner->handToClipboardManager(), X11SelectionOwner::Handover::refused);
    EXPECT_TRUE(owner->owns("CLIPBOARD"));

    manager.reset();
    startManager("silent");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(owner->handToClipboardManager(300ms), X11SelectionOwner::Handover::unanswered);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 800ms);
    // Still serving the clipboard as before.
    EXPECT_EQ(reader->read("CLIPBOARD"), usersCopy);
}

} // namespace
