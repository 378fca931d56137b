#include "ui/ViewSupport.h"

#include <algorithm>

#include <QEvent>
#include <QHBoxLayout>
#include <QLayout>

namespace tamsel::Views {

namespace {

class LayoutRequestWatcher final : public QObject {
public:
    LayoutRequestWatcher(QWidget* watched, std::function<void()> react)
        : QObject(watched), react_(std::move(react)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) {
            react_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> react_;
};

} // namespace

void onLayoutRequest(QWidget* watched, std::function<void()> react) {
    new LayoutRequestWatcher(watched, std::move(react));
}

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

int layoutHeight(const QWidget* widget, int width) {
    QLayout* layout = widget->layout();
    if (layout == nullptr) {
        return widget->sizeHint().height();
    }
    return layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                       : layout->totalSizeHint().height();
}

int scrollHeight(const RefreshingView* page, const QWidget* scroll, int contentHeight,
                 int maximum) {
    const int others =
        layoutHeight(page) - (scroll->isVisibleTo(page) ? scroll->minimumHeight() : 0);
    const int room =
        page->heightLimit() == QWIDGETSIZE_MAX ? maximum : page->heightLimit() - others;
    return std::clamp(contentHeight, 1, std::max(1, std::min(maximum, room)));
}

void setPadding(QWidget* widget, int horizontal, int top, int bottom) {
    if (QLayout* layout = widget->layout()) {
        layout->setContentsMargins(horizontal, top, horizontal, bottom);
    }
}

} // namespace tamsel::Views
