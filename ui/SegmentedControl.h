#pragma once

// A row of mutually exclusive segments, one of them selected.

#include <vector>

#include <QWidget>

class QButtonGroup;
class QToolButton;

namespace tamsel {

class SegmentedControl final : public QWidget {
    Q_OBJECT
public:
    SegmentedControl(int segmentCount, QWidget* parent);

    void setTexts(const QStringList& texts);
    void setCurrentIndex(int index);
    int currentIndex() const;
    QToolButton* segment(int index) const { return segments_.at(static_cast<std::size_t>(index)); }

signals:
    // Only when the user picks a segment.
    void activated(int index);

private:
    QButtonGroup* group_;
    std::vector<QToolButton*> segments_;
};

} // namespace tamsel
