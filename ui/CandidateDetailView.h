#pragma once

// The right-hand pane of the Prompt Lab: the selected suggestion's editable
// name and text, whether the text was drafted, its evidence, and the button
// that adds it as a prompt.

#include <memory>

#include "app/AppModel.h"
#include "app/PromptLabModel.h"
#include "ui/ViewSupport.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace tamsel {

class ElidedLabel;
class Spinner;

class CandidateDetailView final : public QWidget {
    Q_OBJECT
public:
    CandidateDetailView(std::shared_ptr<AppModel> model, std::shared_ptr<PromptLabModel> lab,
                        QWidget* parent);
    void refresh();

    QPushButton* adoptButton() const { return adopt_; }
    QPushButton* cancelDraftButton() const { return cancelDraft_; }
    QLineEdit* nameField() const { return name_; }

private:
    void refreshEvidence(const PromptCandidate& candidate, Language language);

    std::shared_ptr<AppModel> model_;
    std::shared_ptr<PromptLabModel> lab_;
    QLabel* nameLabel_;
    QLineEdit* name_;
    QLabel* textLabel_;
    QPlainTextEdit* text_;
    Spinner* drafting_;
    QLabel* status_;
    QPushButton* cancelDraft_;
    QLabel* evidenceTitle_;
    QLabel* evidenceDetail_;
    ElidedLabel* source_;
    QLabel* context_;
    QWidget* examples_;
    QVBoxLayout* exampleStack_;
    QLabel* moreExamples_;
    std::vector<std::string> shownExamples_;
    QPushButton* adopt_;
};

} // namespace tamsel
