#pragma once

// Small pieces every view uses: texts from the string table as Qt strings,
// dividers, label factories, and the measured height that ignores jitter.

#include <cmath>
#include <functional>
#include <string_view>

#include <QFrame>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "core/strings/Strings.h"
#include "ui/Tokens.h"

namespace tamsel {

// The popover's fixed width, in points.
inline constexpr int popoverWidth = 460;

inline QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString qtText(StringKey key, Language language) {
    return qtText(Strings::string(key, language));
}

inline std::string stdText(const QString& text) {
    return text.toStdString();
}

// A view that re-reads its model when told.
class RefreshingView : public QWidget {
public:
    using QWidget::QWidget;
    virtual void refresh() = 0;

    // The most height the window can give the whole page, in points; a page
    // that scrolls keeps within it by scrolling sooner.
    void setHeightLimit(int limit) { heightLimit_ = limit; }
    int heightLimit() const { return heightLimit_; }

private:
    int heightLimit_ = QWIDGETSIZE_MAX;
};

// A height measured from laid-out content. A change of half a point or less is
// not taken, so that rounding cannot start a layout loop.
struct MeasuredHeight {
    double value = 0;

    bool update(double measured) {
        if (std::abs(measured - value) <= 0.5) {
            return false;
        }
        value = measured;
        return true;
    }
};

namespace Views {

// A one-point line across the parent, in the separator colour.
QFrame* divider(QWidget* parent, int leadingIndent = 0);
QLabel* label(QWidget* parent, const QFont& font, Tone tone, bool wraps = false);
// The height for a page's scroll area: its content's height, at least 1, at
// most `maximum`, and at most what the page's other parts leave of the page's
// height limit.
int scrollHeight(const RefreshingView* page, const QWidget* scroll, int contentHeight, int maximum);
// Calls `react` whenever `watched` is about to redo its layout (a child grew,
// shrank, came or went), before it does.
void onLayoutRequest(QWidget* watched, std::function<void()> react);
// The height a widget's layout wants at the popover's width.
int layoutHeight(const QWidget* widget, int width = popoverWidth);
// Lays a widget's children out with no margins; what callers then pad.
void setPadding(QWidget* widget, int horizontal, int top, int bottom);

} // namespace Views
} // namespace tamsel
