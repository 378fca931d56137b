#include "app/SessionPlan.h"

#include <gtest/gtest.h>

using namespace tamsel;

TEST(SessionPlan, EachSessionGetsTheBackendsItOffers) {
    struct Case {
        const char* what;
        SessionOffer offer;
        SessionPlan plan;
    };
    using P = Provider;
    const Case cases[] = {
        {"X11", {false, true, false, false, false},
         {SessionKind::x11, P::x11, P::x11, P::x11, P::x11}},
        {"sway with XWayland", {true, true, true, true, true},
         {SessionKind::waylandWithXWayland, P::sway, P::sway, P::wayland, P::wayland}},
        {"sway without XWayland", {true, false, true, true, true},
         {SessionKind::waylandOnly, P::sway, P::sway, P::wayland, P::wayland}},
        {"GNOME with XWayland", {true, true, false, false, false},
         {SessionKind::waylandWithXWayland, P::x11, P::x11, P::x11, P::x11}},
        {"KDE (data control, no virtual keyboard)", {true, true, false, false, true},
         {SessionKind::waylandWithXWayland, P::x11, P::x11, P::x11, P::wayland}},
        {"Wayland alone, nothing offered", {true, false, false, false, false},
         {SessionKind::waylandOnly, P::none, P::none, P::none, P::none}},
        {"no display", {false, false, false, false, false}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SessionPlan::choose(c.offer), c.plan) << c.what;
    }
}

TEST(SessionPlan, LimitsAreSaidWhereverSomethingDoesNotWork) {
    const SessionPlan x11 = SessionPlan::choose({false, true, false, false, false});
    EXPECT_TRUE(SessionTexts::limits(x11, Language::en).empty());
    EXPECT_TRUE(x11.canFire());
    EXPECT_FALSE(x11.onlyX11Windows());

    const SessionPlan xwayland = SessionPlan::choose({true, true, false, false, false});
    EXPECT_TRUE(xwayland.onlyX11Windows());
    const auto limits = SessionTexts::limits(xwayland, Language::en);
    ASSERT_EQ(limits.size(), 2U);
    EXPECT_NE(limits[0].find("only while an X11 (XWayland) window is in front"), std::string::npos);

    const SessionPlan bare = SessionPlan::choose({true, false, false, false, false});
    EXPECT_FALSE(bare.canFire());
    // No shortcuts, but a keyboard: the desktop's own shortcuts can run --fire.
    const SessionPlan keyboardOnly = SessionPlan::choose({true, false, false, true, true});
    EXPECT_TRUE(keyboardOnly.canFire());
    EXPECT_NE(SessionTexts::limits(keyboardOnly, Language::en)[0].find("tamsel --fire"),
              std::string::npos);
    const auto japanese = SessionTexts::limits(bare, Language::ja);
    ASSERT_EQ(japanese.size(), 3U);
    EXPECT_NE(japanese[0].find("発火しません"), std::string::npos);
    EXPECT_NE(SessionTexts::summary(bare, Language::en).find("Wayland session without XWayland"),
              std::string::npos);
}

namespace {

SessionOffer portalDesktop(bool kwin, bool dataControl, std::uint32_t remoteDesktop) {
    SessionOffer offer;
    offer.waylandSession = true;
    offer.x11Display = true;
    offer.dataControl = dataControl;
    offer.portalShortcuts = 1;
    offer.portalRemoteDesktop = remoteDesktop;
    offer.kwinScripting = kwin;
    return offer;
}

bool saysSomewhere(const std::vector<std::string>& lines, const std::string& words) {
    for (const std::string& line : lines) {
        if (line.find(words) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(SessionPlan, KdeAndGnomeGoThroughTheDesktopPortals) {
    using P = Provider;
    const SessionPlan kde = SessionPlan::choose(portalDesktop(true, true, 2));
    EXPECT_EQ(kde.trigger, P::portal);
    EXPECT_EQ(kde.frontmost, P::kwin);
    EXPECT_EQ(kde.keyboard, P::portal);
    EXPECT_EQ(kde.clipboard, P::wayland);
    EXPECT_TRUE(kde.keyboardConsentKept);
    EXPECT_TRUE(kde.canFire());
    EXPECT_TRUE(kde.canPaste());
    // Shortcuts and keys reach native windows too.
    EXPECT_FALSE(kde.onlyX11Windows());

    const SessionPlan gnome = SessionPlan::choose(portalDesktop(false, false, 1));
    EXPECT_EQ(gnome.trigger, P::portal);
    EXPECT_EQ(gnome.frontmost, P::none);
    EXPECT_EQ(gnome.keyboard, P::portal);
    // X11's selections would reach X11 windows only: typed, never pasted.
    EXPECT_EQ(gnome.clipboard, P::none);
    EXPECT_FALSE(gnome.canPaste());
    EXPECT_FALSE(gnome.keyboardConsentKept);

    // A GNOME before the shortcut portal: shortcuts reach X11 windows only,
    // which XTEST types into without the portal's consent dialog.
    SessionOffer olderGnome = portalDesktop(false, false, 1);
    olderGnome.portalShortcuts = 0;
    const SessionPlan older = SessionPlan::choose(olderGnome);
    EXPECT_EQ(older.trigger, P::x11);
    EXPECT_EQ(older.frontmost, P::x11);
    EXPECT_EQ(older.keyboard, P::x11);
    EXPECT_EQ(older.clipboard, P::x11);
    EXPECT_TRUE(older.onlyX11Windows());

    // sway's own IPC wins where it answers, portals or not.
    SessionOffer sway = portalDesktop(false, true, 2);
    sway.swayIpc = true;
    sway.virtualKeyboard = true;
    const SessionPlan swayPlan = SessionPlan::choose(sway);
    EXPECT_EQ(swayPlan.trigger, P::sway);
    EXPECT_EQ(swayPlan.keyboard, P::wayland);
}

TEST(SessionPlan, ThePortalSessionsSayWhatTheyCannotDoInBothLanguages) {
    const SessionPlan gnome = SessionPlan::choose(portalDesktop(false, false, 1));
    const auto english = SessionTexts::limits(gnome, Language::en);
    EXPECT_TRUE(saysSomewhere(english, "taken in every application"));
    EXPECT_TRUE(saysSomewhere(english, "asks at every start"));
    EXPECT_TRUE(saysSomewhere(english, "typed, never pasted"));
    EXPECT_TRUE(saysSomewhere(english, "shortcuts fire in every application"));
    // With no clipboard to paste through, such a prompt cannot go at all.
    EXPECT_TRUE(saysSomewhere(english, "is not typed at all"));
    const auto japanese = SessionTexts::limits(gnome, Language::ja);
    EXPECT_EQ(japanese.size(), english.size());
    EXPECT_TRUE(saysSomewhere(japanese, "貼り付けずに入力します"));
    EXPECT_TRUE(saysSomewhere(japanese, "起動のたびに"));
    EXPECT_NE(SessionTexts::summary(gnome, Language::en).find("shortcuts by the desktop portal"),
              std::string::npos);

    const SessionPlan kde = SessionPlan::choose(portalDesktop(true, true, 2));
    const auto kdeLimits = SessionTexts::limits(kde, Language::en);
    EXPECT_TRUE(saysSomewhere(kdeLimits, "asks once"));
    EXPECT_FALSE(saysSomewhere(kdeLimits, "never pasted"));
    EXPECT_FALSE(saysSomewhere(kdeLimits, "cannot be known"));
    EXPECT_TRUE(saysSomewhere(kdeLimits, "is pasted instead"));
    EXPECT_NE(SessionTexts::summary(kde, Language::ja).find("KWin スクリプト"), std::string::npos);
}

TEST(SessionPlan, GnomePastesThroughThePortalsClipboardWhereItHasOne) {
    using P = Provider;
    SessionOffer offer = portalDesktop(false, false, 2);
    offer.portalClipboard = 1;
    const SessionPlan gnome = SessionPlan::choose(offer);
    EXPECT_EQ(gnome.keyboard, P::portal);
    EXPECT_EQ(gnome.clipboard, P::portal);
    EXPECT_TRUE(gnome.canPaste());
    EXPECT_FALSE(saysSomewhere(SessionTexts::limits(gnome, Language::en), "never pasted"));
    EXPECT_NE(SessionTexts::summary(gnome, Language::en).find("clipboard by the desktop portal"),
              std::string::npos);

    // Start tells whether the clipboard came only from RemoteDesktop version 2 on.
    offer.portalRemoteDesktop = 1;
    EXPECT_EQ(SessionPlan::choose(offer).clipboard, P::none);
    // Data control, where there is any, stays the clipboard.
    SessionOffer kde = portalDesktop(true, true, 2);
    kde.portalClipboard = 1;
    EXPECT_EQ(SessionPlan::choose(kde).clipboard, P::wayland);

    // The desktop may still start the session without it: typed, and said
    // as such rather than as a desktop without any clipboard.
    const SessionPlan withheld = gnome.withClipboardWithheld();
    EXPECT_FALSE(withheld.canPaste());
    for (const Language language : {Language::en, Language::ja}) {
        const auto lines = SessionTexts::limits(withheld, language);
        EXPECT_TRUE(saysSomewhere(lines, SessionTexts::clipboardWithheld(language)));
        EXPECT_EQ(lines.size(), SessionTexts::limits(gnome, language).size() + 1);
    }
    EXPECT_FALSE(saysSomewhere(SessionTexts::limits(withheld, Language::en), "no clipboard"));
}
