#pragma once

// One prompt in the list: a summary line that opens and closes the editor,
// with the shortcut chips, the name, a warning sign, a preview of the text and
// a context menu for moving and deleting.

#include <memory>
#include <vector>

#include "app/AppModel.h"
#include "ui/ViewSupport.h"

class QMenu;

namespace tamsel {

class ElidedLabel;
class RowButton;
class RuleEditorView;
class ShortcutColumn;

class RuleRowView final : public QWidget {
    Q_OBJECT
public:
    RuleRowView(std::shared_ptr<AppModel> model, const std::string& ruleID, QWidget* parent);

    const std::string& ruleID() const { return ruleID_; }
    void display(const Rule& rule, const std::vector<RuleIssue>& issues, bool isFirst, bool isLast);

    // The context menu as it would open now; the caller owns it.
    QMenu* makeContextMenu(QWidget* parent);
    RowButton* summary() const { return summary_; }
    ShortcutColumn* shortcuts() const { return shortcuts_; }
    RuleEditorView* editor() const { return editor_; }

private:
    bool isExpanded() const;
    void toggleExpansion();
    void deleteRule();

    std::shared_ptr<AppModel> model_;
    std::string ruleID_;
    bool isFirst_ = false;
    bool isLast_ = false;
    RowButton* summary_;
    ShortcutColumn* shortcuts_;
    ElidedLabel* name_;
    QLabel* warning_;
    ElidedLabel* preview_;
    QLabel* chevron_;
    RuleEditorView* editor_ = nullptr;
};

} // namespace tamsel
