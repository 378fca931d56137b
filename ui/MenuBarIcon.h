#pragma once

// The tray icon: two bars and a block, the block solid while shortcuts are
// watched and hollow while paused, so the two states differ in shape and not
// only in colour. Drawn in one ink on transparent: black by default, as a
// template a desktop may recolour; for a panel that does not recolour, in
// the ink that panel needs.

#include <optional>

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace tamsel::MenuBarIcon {

// 18 × 18 points at the given device pixel ratio.
QImage image(bool active, qreal devicePixelRatio = 1.0, const QColor& ink = Qt::black);

// The ink for a tray that draws our pixels as they are: its own foreground
// when it names one, otherwise light, since most Linux panels are dark.
QColor inkFor(const std::optional<QColor>& trayForeground);
inline constexpr QRgb lightInk = 0xfff2f2f2;

// The installed symbolic icon's theme name, which a StatusNotifier panel
// recolours for its own background.
QString symbolicName(bool active);

// The icon to hand to the tray: the installed symbolic one when the panel
// recolours icons and it is installed, else the drawing in `ink`.
QIcon trayIcon(bool active, bool panelRecolours, const QColor& ink, qreal devicePixelRatio);

} // namespace tamsel::MenuBarIcon
