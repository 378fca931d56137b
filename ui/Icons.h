#pragma once

// The small pictograms of the views, drawn in code so that they look the same
// on every desktop and in the off-screen snapshots, whatever the icon theme.

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace tamsel {

enum class Symbol {
    plus,
    gear,
    chevronUp,
    chevronDown,
    chevronLeft,
    warning,
    xmark,
    paperplane,
    textBadgePlus,
    arrowUp,
    arrowDown,
    trash,
    lockShield,
    checkmarkCircle,
    checkmark,
    info,
};

namespace Icons {

// A square picture `size` points wide in one colour; sharp at the ratio given.
QPixmap pixmap(Symbol symbol, int size, const QColor& color, qreal devicePixelRatio = 2.0);
QIcon icon(Symbol symbol, int size, const QColor& color);

} // namespace Icons
} // namespace tamsel
