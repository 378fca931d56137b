#include "tests/ui/LayoutInvariants.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "ui/ElidedLabel.h"
#include "ui/RowButton.h"

namespace tamsel::testing {

namespace {

// Rounding of fractional font metrics may cost a pixel.
constexpr int slack = 1;

std::string text(const QString& string) {
    return string.toStdString();
}

QList<QWidget*> visibleWidgets(const QWidget* root) {
    QList<QWidget*> widgets;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!widget->isWindow() && widget->isVisibleTo(root)) {
            widgets << widget;
        }
    }
    return widgets;
}

// The scroll area whose viewport holds `widget` directly, if any.
const QScrollArea* scrolledBy(const QWidget* widget) {
    const QWidget* viewport = widget->parentWidget();
    if (viewport == nullptr) {
        return nullptr;
    }
    const auto* area = qobject_cast<const QScrollArea*>(viewport->parentWidget());
    return area != nullptr && area->viewport() == viewport ? area : nullptr;
}

void checkInsideParent(const QWidget* widget, Faults& faults) {
    const QWidget* parent = widget->parentWidget();
    if (const QScrollArea* area = scrolledBy(widget)) {
        if (area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff &&
            widget->width() > parent->width() + slack) {
            faults.push_back(describe(widget) + " is " + std::to_string(widget->width()) +
                             " wide in a viewport of " + std::to_string(parent->width()));
        }
        return;
    }
    const QRect inside = parent->rect().adjusted(-slack, -slack, slack, slack);
    if (!inside.contains(widget->geometry())) {
        const QRect g = widget->geometry();
        faults.push_back(describe(widget) + " at " + std::to_string(g.x()) + "," +
                         std::to_string(g.y()) + " " + std::to_string(g.width()) + "x" +
                         std::to_string(g.height()) + " leaves its parent of " +
                         std::to_string(parent->width()) + "x" + std::to_string(parent->height()));
    }
}

void checkLabel(const QLabel* label, Faults& faults) {
    const QRect room = label->contentsRect();
    if (!label->pixmap().isNull()) {
        const QSize size = label->pixmap().deviceIndependentSize().toSize();
        if (size.width() > room.width() + slack || size.height() > room.height() + slack) {
            faults.push_back(describe(label) + ": picture larger than the label");
        }
        return;
    }
    if (label->text().isEmpty()) {
        return;
    }
    const QFontMetrics metrics(label->font());
    if (label->wordWrap()) {
        if (label->heightForWidth(label->width()) > label->height() + slack) {
            faults.push_back(describe(label) + ": wrapped text \"" + text(label->text()) +
                             "\" needs " + std::to_string(label->heightForWidth(label->width())) +
                             " but has " + std::to_string(label->height()));
        }
        return;
    }
    const QRect needed = metrics.boundingRect(QRect(0, 0, 100000, 100000), 0, label->text());
    if (needed.height() > room.height() + slack) {
        faults.push_back(describe(label) + ": \"" + text(label->text()) + "\" needs " +
                         std::to_string(needed.height()) + " high, has " +
                         std::to_string(room.height()));
    }
    if (const auto* elided = qobject_cast<const ElidedLabel*>(label)) {
        const bool fits = metrics.horizontalAdvance(elided->fullText()) <= room.width() + slack;
        if (!fits && (!elided->isElided() || elided->toolTip() != elided->fullText())) {
            faults.push_back(describe(label) + ": \"" + text(elided->fullText()) +
                             "\" is cut without the whole text in its tooltip");
        }
        if (elided->accessibleName() != elided->fullText()) {
            faults.push_back(describe(label) + ": accessible name is not the whole text");
        }
        return;
    }
    if (needed.width() > room.width() + slack) {
        faults.push_back(describe(label) + ": \"" + text(label->text()) + "\" needs " +
                         std::to_string(needed.width()) + " wide, has " +
                         std::to_string(room.width()));
    }
}

void checkButton(const QAbstractButton* button, Faults& faults) {
    if (qobject_cast<const RowButton*>(button) != nullptr || button->text().isEmpty() ||
        qobject_cast<const QScrollBar*>(button->parentWidget()) != nullptr) {
        return;
    }
    const QSize wanted = button->minimumSizeHint().expandedTo(button->sizeHint());
    if (wanted.width() > button->width() + slack || wanted.height() > button->height() + slack) {
        faults.push_back(describe(button) + ": \"" + text(button->text()) + "\" needs " +
                         std::to_string(wanted.width()) + "x" + std::to_string(wanted.height()) +
                         ", has " + std::to_string(button->width()) + "x" +
                         std::to_string(button->height()));
    }
}

bool takesTabFocus(const QWidget* widget) {
    return (widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isEnabled() &&
           widget->focusProxy() == nullptr;
}

} // namespace

std::string describe(const QWidget* widget) {
    std::string path;
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        std::string step = w->metaObject()->className();
        if (!w->objectName().isEmpty()) {
            step += "#" + text(w->objectName());
        }
        path = path.empty() ? step : step + " > " + path;
        if (w->isWindow()) {
            break;
        }
    }
    return path;
}

Faults geometryFaults(const QWidget* root) {
    Faults faults;
    for (const QWidget* widget : visibleWidgets(root)) {
        checkInsideParent(widget, faults);
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            checkLabel(label, faults);
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            checkButton(button, faults);
        }
    }
    return faults;
}

Faults focusFaults(QWidget* root) {
    Faults faults;
    QWidget* window = root->window();
    window->activateWindow();
    QApplication::processEvents();
    if (!window->isActiveWindow()) {
        faults.push_back(describe(window) + " could not be activated to check focus");
        return faults;
    }
    for (QWidget* widget : visibleWidgets(root)) {
        if (!takesTabFocus(widget) || qobject_cast<QScrollBar*>(widget) != nullptr) {
            continue;
        }
        // A neutral place to leave focus while the unfocused picture is taken.
        window->setFocus(Qt::OtherFocusReason);
        if (QWidget* focused = QApplication::focusWidget()) {
            focused->clearFocus();
        }
        QApplication::processEvents();
        const QImage without = widget->grab().toImage();
        widget->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        if (!widget->hasFocus()) {
            faults.push_back(describe(widget) + " does not take focus");
            continue;
        }
        const QImage with = widget->grab().toImage();
        if (with == without) {
            faults.push_back(describe(widget) + " looks the same with and without focus");
        }
    }
    return faults;
}

Faults layoutFaults(QWidget* root) {
    Faults faults = geometryFaults(root);
    const Faults focus = focusFaults(root);
    faults.insert(faults.end(), focus.begin(), focus.end());
    return faults;
}

} // namespace tamsel::testing
