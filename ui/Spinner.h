#pragma once

// A small spinning progress indicator; it turns only while it is shown.

#include <QWidget>

namespace tamsel {

class Spinner final : public QWidget {
    Q_OBJECT
public:
    Spinner(int size, QWidget* parent);
    QSize sizeHint() const override { return {size_, size_}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int size_;
    int step_ = 0;
    int timer_ = 0;
};

} // namespace tamsel
