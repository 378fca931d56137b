#pragma once

// A small on/off switch: a pill with a knob that sits right when on.

#include <QAbstractButton>

namespace tamsel {

class SwitchButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchButton(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {32, 18}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tamsel
