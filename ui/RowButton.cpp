#include "ui/RowButton.h"

#include <QLayout>
#include <QPainter>

#include "ui/Tokens.h"

namespace tamsel {

RowButton::RowButton(QWidget* parent) : QAbstractButton(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize RowButton::sizeHint() const { return layout() ? layout()->sizeHint() : QSize(100, 30); }

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

void RowButton::paintEvent(QPaintEvent*) {
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    QPainter painter(this);
    if (selected_) {
        painter.fillRect(rect(), palette.selection);
    } else if (isDown()) {
        painter.fillRect(rect(), palette.controlBackground);
    }
}

} // namespace tamsel
