#pragma once

// One validator finding under the field it concerns: a warning sign and the
// message, wrapped to the width available.

#include "core/config/Validator.h"
#include "ui/ViewSupport.h"

namespace tamsel {

class IssueLabel final : public QWidget {
    Q_OBJECT
public:
    IssueLabel(const RuleIssue& issue, Language language, QWidget* parent);
    QString text() const { return message_->text(); }

private:
    QLabel* message_;
};

} // namespace tamsel
