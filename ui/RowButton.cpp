#include "ui/RowButton.h"

#include <QHelpEvent>
#include <QLayout>
#include <QPainter>
#include <QToolTip>

#include "ui/Tokens.h"

namespace tamsel {

RowButton::RowButton(QWidget* parent) : QAbstractButton(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Reached by Tab, not by a click: a click acts at once, and a ring left
    // behind by the mouse would only distract.
    setFocusPolicy(Qt::TabFocus);
}

QSize RowButton::sizeHint() const {
    return layout() ? layout()->sizeHint() : QSize(100, 30);
}

QSize RowButton::minimumSizeHint() const {
    // As narrow as the children can shrink (elided names), never the width
    // of the whole text: a long name must not widen the list.
    if (layout() == nullptr) {
        return sizeHint();
    }
    return {layout()->minimumSize().width(), sizeHint().height()};
}

void RowButton::makeChildrenTransparent() {
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
}

void RowButton::setSelected(bool selected) {
    if (selected != selected_) {
        selected_ = selected;
        update();
    }
}

QString RowButton::toolTipAt(const QPoint& position) const {
    // childAt() skips children that let the mouse through, which is all of them.
    const QWidget* hit = this;
    QPoint local = position;
    for (bool descended = true; descended;) {
        descended = false;
        const QObjectList& children = hit->children();
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            const auto* child = qobject_cast<const QWidget*>(*it);
            if (child != nullptr && !child->isWindow() && child->isVisible() &&
                child->geometry().contains(local)) {
                local -= child->pos();
                hit = child;
                descended = true;
                break;
            }
        }
    }
    for (const QWidget* widget = hit; widget != nullptr; widget = widget->parentWidget()) {
        if (!widget->toolTip().isEmpty() || widget == this) {
            return widget->toolTip();
        }
    }
    return toolTip();
}

bool RowButton::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QAbstractButton::event(event);
}

void RowButton::paintEvent(QPaintEvent*) {
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    QPainter painter(this);
    if (selected_) {
        painter.fillRect(rect(), palette.selection);
    } else if (isDown()) {
        painter.fillRect(rect(), palette.controlBackground);
    }
    if (hasFocus()) {
        Tokens::paintFocusRing(painter, QRectF(rect()).adjusted(2, 2, -2, -2), palette, 4);
    }
}

} // namespace tamsel
