#pragma once

// The popover around the popover view: a frameless, bordered popup the width
// of the view and as tall as the view wants, within the screen. It opens next
// to the tray icon (or at the pointer when the tray says nothing of where its
// icon is), on that screen, and never over the icon. Qt closes a popup on any
// click outside it.

#include <memory>

#include <QRect>
#include <QWidget>

#include "app/AppModel.h"
#include "ui/SettingsActions.h"

class QScreen;

namespace tamsel {

class PopoverView;

class PopoverWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int initialHeight = 260;
    // The tallest the popover grows, in points; beyond it the list scrolls.
    static constexpr int tallest = 560;

    PopoverWindow(std::shared_ptr<AppModel> model, SettingsActions actions);

    // Next to `anchor` (the tray icon's geometry) when it is valid, else at `pointer`.
    void showNear(const QRect& anchor, const QPoint& pointer);
    PopoverView* view() const { return view_; }

    // How tall the popup may be on a screen whose free area is `available`:
    // at most `tallest`, and only as much as fits beside the anchor.
    static int heightLimit(const QRect& anchor, const QRect& available);
    // Where a popup of `size` goes on that screen: under the anchor, or over
    // it when the anchor sits in the lower half; without an anchor under the
    // pointer, or over it when there is no room below. Always inside
    // `available`.
    static QPoint placement(const QRect& anchor, const QPoint& pointer, const QSize& size,
                            const QRect& available);

signals:
    void hidden();

protected:
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static bool hasAnchor(const QRect& anchor) { return anchor.isValid() && !anchor.isEmpty(); }
    QRect availableArea() const;
    // Sizes the popup to the view's wish within the limit, and keeps it on screen.
    void fit();

    PopoverView* view_;
    QWidget* border_;
    QRect anchor_;
    QPoint pointer_;
};

} // namespace tamsel
