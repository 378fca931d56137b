#include "ui/IssueLabel.h"

#include <QHBoxLayout>

#include "ui/Icons.h"

namespace tamsel {

IssueLabel::IssueLabel(const RuleIssue& issue, Language language, QWidget* parent)
    : QWidget(parent) {
    setObjectName("issue");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* icon = new QLabel(this);
    icon->setPixmap(
        Icons::pixmap(Symbol::warning, 10, Palette::of(Tokens::appearanceOf(parent)).warning));
    row->addWidget(icon, 0, Qt::AlignTop);
    message_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    message_->setText(qtText(Strings::issueMessage(issue, language)));
    row->addWidget(message_, 1);
}

} // namespace tamsel
