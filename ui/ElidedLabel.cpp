#include "ui/ElidedLabel.h"

#include <QFontMetrics>

namespace tamsel {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == fullText_) {
        return;
    }
    fullText_ = text;
    setAccessibleName(text);
    updateGeometry();
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, fontMetrics().height()};
}

QSize ElidedLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(fullText_) + 2, fontMetrics().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

bool ElidedLabel::isElided() const {
    return text() != fullText_;
}

void ElidedLabel::elide() {
    setText(fontMetrics().elidedText(fullText_, mode_, contentsRect().width()));
    // Whatever the ellipsis hides is a pointer's rest away.
    setToolTip(isElided() ? fullText_ : QString());
}

} // namespace tamsel
