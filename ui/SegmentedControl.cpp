#include "ui/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

#include "ui/Tokens.h"

namespace tamsel {

SegmentedControl::SegmentedControl(int segmentCount, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < segmentCount; ++i) {
        auto* segment = new QToolButton(this);
        segment->setCheckable(true);
        segment->setFont(Tokens::bodyFont());
        segment->setProperty("segment", i == 0                  ? "first"
                                        : i + 1 == segmentCount ? "last"
                                                                : "middle");
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group_->addButton(segment, i);
        segments_.push_back(segment);
        row->addWidget(segment);
    }
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
}

void SegmentedControl::setTexts(const QStringList& texts) {
    for (std::size_t i = 0; i < segments_.size() && i < std::size_t(texts.size()); ++i) {
        segments_[i]->setText(texts[qsizetype(i)]);
    }
}

void SegmentedControl::setCurrentIndex(int index) {
    if (QAbstractButton* button = group_->button(index)) {
        button->setChecked(true);
    }
}

int SegmentedControl::currentIndex() const { return group_->checkedId(); }

} // namespace tamsel
