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
