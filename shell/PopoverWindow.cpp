#include "shell/PopoverWindow.h"

#include <algorithm>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/PopoverView.h"

namespace tamsel {

namespace {

// A one-point outline over the whole popup, so that it stands apart from a
// window of the same colour behind it. It lets every click through.
class PopupBorder final : public QWidget {
public:
    explicit PopupBorder(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const Appearance appearance = Tokens::appearanceOf(parentWidget());
        QColor line =
            appearance == Appearance::dark ? QColor(255, 255, 255, 60) : QColor(0, 0, 0, 70);
        QPainter painter(this);
        painter.setPen(QPen(line, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
};

} // namespace

PopoverWindow::PopoverWindow(std::shared_ptr<AppModel> model, SettingsActions actions)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint),
      view_(new PopoverView(std::move(model), this)) {
    view_->setSettingsActions(std::move(actions));
    setWindowTitle(QStringLiteral("Tamsel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The window follows the view's wish, not the layout's minimum.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(view_);
    border_ = new PopupBorder(this);
    resize(PopoverView::width, initialHeight);
    connect(view_, &PopoverView::preferredHeightChanged, this, [this] { fit(); });
    fit();
}

int PopoverWindow::heightLimit(const QRect& anchor, const QRect& available) {
    int room = available.height();
    if (hasAnchor(anchor)) {
        const bool below = anchor.center().y() < available.center().y();
        room = below ? available.bottom() - anchor.bottom() : anchor.top() - available.top();
    }
    return std::max(1, std::min(tallest, room));
}

QPoint PopoverWindow::placement(const QRect& anchor, const QPoint& pointer, const QSize& size,
                                const QRect& available) {
    QPoint origin;
    if (hasAnchor(anchor)) {
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

QRect PopoverWindow::availableArea() const {
    // The screen of the tray icon, else of the pointer, else the first.
    const QPoint probe = hasAnchor(anchor_) ? anchor_.center() : pointer_;
    QScreen* screen = QGuiApplication::screenAt(probe);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
}

void PopoverWindow::fit() {
    const QRect available = availableArea();
    const int limit = heightLimit(anchor_, available);
    view_->setHeightLimit(limit);
    const QSize wanted(PopoverView::width, std::clamp(view_->preferredHeight(), 1, limit));
    if (size() != wanted) {
        setFixedSize(wanted);
    }
    if (isVisible()) {
        move(placement(anchor_, pointer_, wanted, available));
    }
}

void PopoverWindow::showNear(const QRect& anchor, const QPoint& pointer) {
    anchor_ = anchor;
    pointer_ = pointer;
    fit();
    move(placement(anchor_, pointer_, size(), availableArea()));
    show();
    raise();
    activateWindow();
}

void PopoverWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    border_->setGeometry(rect());
    border_->raise();
}

void PopoverWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit hidden();
}

} // namespace tamsel
