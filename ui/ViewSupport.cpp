#include "ui/ViewSupport.h"

#include <QHBoxLayout>
#include <QLayout>

namespace tamsel::Views {

QFrame* divider(QWidget* parent, int leadingIndent) {
    auto* line = new QFrame(parent);
    line->setProperty("divider", true);
    line->setFixedHeight(1);
    line->setFrameShape(QFrame::NoFrame);
    if (leadingIndent == 0) {
        return line;
    }
    // An indented divider is a line inside a holder that keeps the indent.
    auto* holder = new QFrame(parent);
    holder->setFixedHeight(1);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(leadingIndent, 0, 0, 0);
    line->setParent(holder);
    layout->addWidget(line);
    return holder;
}

QLabel* label(QWidget* parent, const QFont& font, Tone tone, bool wraps) {
    auto* label = new QLabel(parent);
    label->setFont(font);
    label->setWordWrap(wraps);
    label->setTextFormat(Qt::PlainText);
    Tokens::setTone(label, tone);
    return label;
}

void setPadding(QWidget* widget, int horizontal, int top, int bottom) {
    if (QLayout* layout = widget->layout()) {
        layout->setContentsMargins(horizontal, top, horizontal, bottom);
    }
}

} // namespace tamsel::Views
