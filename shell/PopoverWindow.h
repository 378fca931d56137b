#pragma once

// The popover around the popover view: a frameless popup the width of the
// view, as tall as the view wants, shown next to the tray icon (or under the
// pointer when the tray says nothing of where its icon is). Qt closes a popup
// on any click outside it.

#include <memory>

#include <QRect>
#include <QWidget>

#include "app/AppModel.h"
#include "ui/SettingsActions.h"

namespace tamsel {

class PopoverView;

class PopoverWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int initialHeight = 260;

    PopoverWindow(std::shared_ptr<AppModel> model, SettingsActions actions);

    // Next to `anchor` (the tray icon's geometry) when it is valid, else at `pointer`.
    void showNear(const QRect& anchor, const QPoint& pointer);

    // Where a popup of `size` goes on a screen whose free area is `available`:
    // under the anchor, or over it when the anchor sits in the lower half.
    static QPoint placement(const QRect& anchor, const QPoint& pointer, const QSize& size,
                            const QRect& available);

signals:
    void hidden();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    PopoverView* view_;
};

} // namespace tamsel
