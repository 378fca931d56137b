#pragma once

// A one-line label that shortens its text to the width it is given, with an
// ellipsis where the text is cut (at the end or in the middle). The whole text
// is its accessible name, and its tooltip while it is cut.

#include <QLabel>

namespace tamsel {

class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }
    bool isElided() const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    Qt::TextElideMode mode_;
    QString fullText_;
};

} // namespace tamsel
