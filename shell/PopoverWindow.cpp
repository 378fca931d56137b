#include "shell/PopoverWindow.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/PopoverView.h"

namespace tamsel {

PopoverWindow::PopoverWindow(std::shared_ptr<AppModel> model, SettingsActions actions)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint),
      view_(new PopoverView(std::move(model), this)) {
    view_->setSettingsActions(std::move(actions));
    setWindowTitle(QStringLiteral("Tamsel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    resize(PopoverView::width, initialHeight);
    connect(view_, &PopoverView::preferredHeightChanged, this,
            [this](int height) { resize(PopoverView::width, std::max(height, 1)); });
}

QPoint PopoverWindow::placement(const QRect& anchor, const QPoint& pointer, const QSize& size,
                                const QRect& available) {
    QPoint origin;
    if (anchor.isValid() && !anchor.isEmpty()) {
        origin.setX(anchor.center().x() - size.width() / 2);
        const bool below = anchor.center().y() < available.center().y();
        origin.setY(below ? anchor.bottom() + 1 : anchor.top() - size.height());
    } else {
        origin = QPoint(pointer.x() - size.width() / 2, pointer.y() + 8);
        if (origin.y() + size.height() > available.bottom()) {
            origin.setY(pointer.y() - 8 - size.height());
        }
    }
    // Never off the screen, even when the screen is smaller than the popup.
    origin.setX(
        std::max(available.left(), std::min(origin.x(), available.right() + 1 - size.width())));
    origin.setY(
        std::max(available.top(), std::min(origin.y(), available.bottom() + 1 - size.height())));
    return origin;
}

void PopoverWindow::showNear(const QRect& anchor, const QPoint& pointer) {
    const QPoint probe = anchor.isValid() ? anchor.center() : pointer;
    QScreen* screen = QGuiApplication::screenAt(probe);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    move(placement(anchor, pointer, size(), available));
    show();
    raise();
    activateWindow();
}

void PopoverWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit hidden();
}

} // namespace tamsel
