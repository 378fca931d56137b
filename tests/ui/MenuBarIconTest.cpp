#include "ui/MenuBarIcon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include <QPainter>

using namespace tamsel;

namespace {

TEST(MenuBarIconTest, BarsAreHalfInkAndTheBlockIsSolidOnlyWhileActive) {
    struct Case {
        const char* where;
        double x, y;     // points from the top-left
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
                EXPECT_NEAR(qAlpha(active.pixel(pixel)), c.activeAlpha, 8)
                    << c.where << " @" << ratio;
            }
            EXPECT_NEAR(qAlpha(paused.pixel(pixel)), c.pausedAlpha, 8) << c.where << " @" << ratio;
            // Black ink only: the desktop recolours by alpha.
            EXPECT_EQ(qRed(active.pixel(pixel)), 0) << c.where;
        }
    }
}

} // namespace

namespace {

// WCAG's relative luminance and contrast ratio, from 8-bit sRGB.
double luminance(QRgb colour) {
    auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) +
           0.0722 * linear(qBlue(colour));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The icon as the panel shows it: drawn over the panel's background.
QImage onPanel(bool active, QColor ink, QColor panel) {
    QImage icon = tamsel::MenuBarIcon::image(active, 2.0, ink);
    icon.setDevicePixelRatio(1.0); // pixel for pixel
    QImage shown(icon.size(), QImage::Format_RGB32);
    shown.fill(panel);
    QPainter painter(&shown);
    painter.drawImage(QPoint(0, 0), icon);
    return shown;
}

// Pixels in points from the top-left, at ratio 2.
QRgb at(const QImage& image, double x, double y) {
    return image.pixel(int(x * 2), int(y * 2));
}

} // namespace

TEST(MenuBarIconTest, ReadableOnDarkAndLightPanels) {
    struct Panel {
        const char* name;
        QColor background;
        // What the tray says in _NET_SYSTEM_TRAY_COLORS, if anything.
        std::optional<QColor> trayForeground;
    };
    const Panel panels[] = {
        {"dark panel, no colours given", QColor(0x2b, 0x2b, 0x2b), std::nullopt},
        {"black panel, no colours given", QColor(0, 0, 0), std::nullopt},
        {"light panel with its palette", QColor(0xf6, 0xf5, 0xf4), QColor(0x2e, 0x34, 0x36)},
        {"dark panel with its palette", QColor(0x1d, 0x1f, 0x21), QColor(0xee, 0xee, 0xec)},
    };
    for (const Panel& panel : panels) {
        const QColor ink = MenuBarIcon::inkFor(panel.trayForeground);
        const QImage active = onPanel(true, ink, panel.background);
        const QImage paused = onPanel(false, ink, panel.background);
        const QRgb background = panel.background.rgb();
        // What carries the state needs 3:1 against its surroundings (WCAG
        // 1.4.11); the bars are a half-tone by design, to be seen, not read.
        EXPECT_GE(contrast(at(active, 13, 12.8), background), 4.5) << panel.name << ": block";
        EXPECT_GE(contrast(at(active, 8, 2), background), 2.0) << panel.name << ": bars";
        EXPECT_GE(contrast(at(paused, 8.8, 12.8), background), 3.0) << panel.name << ": outline";
        EXPECT_LT(contrast(at(paused, 13, 12.8), background), 1.1) << panel.name << ": hollow";
    }
    // What the icon was before: black ink all but vanishes on a dark panel.
    EXPECT_LT(contrast(at(onPanel(true, Qt::black, QColor(0x2b, 0x2b, 0x2b)), 8, 2), 0xff2b2b2b),
              1.5);
}

TEST(MenuBarIconTest, ActiveAndPausedDifferInShape) {
    // Inked share of the block's inside, in alpha alone: colour plays no part.
    auto inkedInsideBlock = [](bool active) {
        const QImage icon =
            MenuBarIcon::image(active, 4.0, QColor::fromRgba(MenuBarIcon::lightInk));
        int inked = 0, total = 0;
        for (double y = 10.5; y <= 15; y += 0.25) {
            for (double x = 10.8; x <= 15.2; x += 0.25) {
                ++total;
                inked += qAlpha(icon.pixel(int(x * 4), int(y * 4))) > 128 ? 1 : 0;
            }
        }
        return double(inked) / total;
    };
    EXPECT_GT(inkedInsideBlock(true), 0.95);
    EXPECT_LT(inkedInsideBlock(false), 0.05);
}

TEST(MenuBarIconTest, InkComesFromTheTrayElseIsLight) {
    EXPECT_EQ(MenuBarIcon::inkFor(QColor(0x2e, 0x34, 0x36)), QColor(0x2e, 0x34, 0x36));
    EXPECT_EQ(MenuBarIcon::inkFor(std::nullopt).rgba(), MenuBarIcon::lightInk);
    // A panel that recolours gets the installed symbolic icon by name; where
    // it is not installed (a build tree), the drawing.
    const QIcon drawn = MenuBarIcon::trayIcon(true, true, Qt::black, 1.0);
    if (!QIcon::hasThemeIcon(MenuBarIcon::symbolicName(true))) {
        EXPECT_TRUE(drawn.name().isEmpty());
        EXPECT_FALSE(drawn.pixmap(18).isNull());
    }
    EXPECT_TRUE(MenuBarIcon::trayIcon(true, false, Qt::black, 1.0).name().isEmpty());
}
