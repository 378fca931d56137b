#include "ui/MenuBarIcon.h"

namespace tamsel::MenuBarIcon {

QImage image(bool /*active*/, qreal devicePixelRatio) {
    QImage image(int(18 * devicePixelRatio), int(18 * devicePixelRatio), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

} // namespace tamsel::MenuBarIcon
