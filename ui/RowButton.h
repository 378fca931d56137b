#pragma once

// A button the size of a whole row: its child widgets show what it stands
// for, and clicks anywhere on it land on the button.

#include <QAbstractButton>

namespace tamsel {

class RowButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit RowButton(QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // Lets clicks through the children added so far.
    void makeChildrenTransparent();
    void setSelected(bool selected);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool selected_ = false;
};

} // namespace tamsel
