#pragma once

// A button the size of a whole row: its child widgets show what it stands
// for, and clicks anywhere on it land on the button. Tooltips of the children
// still show: the button looks up which child is under the pointer.

#include <QAbstractButton>

namespace tamsel {

class RowButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit RowButton(QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Lets clicks through the children added so far.
    void makeChildrenTransparent();
    void setSelected(bool selected);
    // The tooltip of the innermost child at `position` that has one, else the
    // button's own.
    QString toolTipAt(const QPoint& position) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool selected_ = false;
};

} // namespace tamsel
