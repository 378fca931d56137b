#pragma once

// The editor that opens under an expanded prompt: name, the two shortcuts,
// the text, the findings that concern the whole prompt, the enabled switch,
// and moving and deleting. Every keystroke goes straight to the model.

#include <memory>
#include <string>
#include <vector>

#include "app/AppModel.h"
#include "ui/ViewSupport.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;
class QVBoxLayout;

namespace tamsel {

class HotkeyEditor;

class RuleEditorView final : public QWidget {
    Q_OBJECT
public:
    RuleEditorView(std::shared_ptr<AppModel> model, const Rule& rule, QWidget* parent);

    // Takes the prompt's current state from the model; local edits that the
    // model already holds are left alone, so typing never loops back.
    void display(const Rule& rule, const std::vector<RuleIssue>& issues);
    QLineEdit* nameField() const { return name_; }

private:
    void update(const std::function<void(Rule&)>& change);
    void deleteRule();

    std::shared_ptr<AppModel> model_;
    std::string ruleID_;
    QLabel* nameLabel_;
    QLineEdit* name_;
    HotkeyEditor* send_;
    HotkeyEditor* insert_;
    QLabel* textLabel_;
    QPlainTextEdit* text_;
    QVBoxLayout* issueStack_;
    std::vector<RuleIssue> shownIssues_;
    Language shownLanguage_ = Language::en;
    bool issuesBuilt_ = false;
    QCheckBox* enabled_;
    QToolButton* moveUp_;
    QToolButton* moveDown_;
    QToolButton* delete_;
};

} // namespace tamsel
