#include "ui/MenuBarIcon.h"

#include <gtest/gtest.h>

using namespace tamsel;

namespace {

TEST(MenuBarIconTest, BarsAreHalfInkAndTheBlockIsSolidOnlyWhileActive) {
    struct Case {
        const char* where;
        double x, y; // points from the top-left
        int activeAlpha; // -1: not looked at
        int pausedAlpha;
    };
    // Alpha 0.45 of 255 is 115; a few units either way is antialiasing.
    const Case cases[] = {
        {"upper bar", 8, 2, 115, 115},
        {"lower bar, left end", 2, 6.6, 115, 115},
        {"beside the lower bar", 12, 6.6, 0, 0},
        {"centre of the block", 13, 12.8, 255, 0},
        // The hollow block's line straddles the solid block's edge.
        {"outline of the paused block", 8.8, 12.8, -1, 255},
        {"corner of the canvas", 0.5, 17.5, 0, 0},
    };
    for (qreal ratio : {1.0, 2.0}) {
        const QImage active = MenuBarIcon::image(true, ratio);
        const QImage paused = MenuBarIcon::image(false, ratio);
        ASSERT_EQ(active.size(), QSize(qRound(18 * ratio), qRound(18 * ratio)));
        EXPECT_EQ(active.devicePixelRatio(), ratio);
        for (const Case& c : cases) {
            const QPoint pixel(int(c.x * ratio), int(c.y * ratio));
            if (c.activeAlpha >= 0) {
                EXPECT_NEAR(qAlpha(active.pixel(pixel)), c.activeAlpha, 8) << c.where << " @" << ratio;
            }
            EXPECT_NEAR(qAlpha(paused.pixel(pixel)), c.pausedAlpha, 8) << c.where << " @" << ratio;
            // Black ink only: the desktop recolours by alpha.
            EXPECT_EQ(qRed(active.pixel(pixel)), 0) << c.where;
        }
    }
}

} // namespace
