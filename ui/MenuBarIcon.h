#pragma once

// The tray icon: two bars and a block, the block solid while shortcuts are
// watched and hollow while paused. Black on transparent, so that the desktop
// may recolour it.

#include <QImage>

namespace tamsel::MenuBarIcon {

// 18 × 18 points at the given device pixel ratio.
QImage image(bool active, qreal devicePixelRatio = 1.0);

} // namespace tamsel::MenuBarIcon
