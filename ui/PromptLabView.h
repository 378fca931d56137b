#pragma once

// The Prompt Lab's window content: a header with the model's status and the
// rescan button, the suggestions on the left, the selected one on the right,
// and how often each existing prompt was used along the bottom. It starts the
// first scan when it is first shown.

#include <memory>
#include <string>
#include <vector>

#include "app/AppModel.h"
#include "app/PromptLabModel.h"
#include "ui/ViewSupport.h"

class QComboBox;
class QHBoxLayout;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace tamsel {

class CandidateDetailView;
class ModelObserver;
class RowButton;

class PromptLabView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 640;
    static constexpr int minimumHeight = 420;

    PromptLabView(std::shared_ptr<AppModel> model, std::shared_ptr<PromptLabModel> lab,
                  QWidget* parent = nullptr);
    ~PromptLabView() override;

    // Re-reads both models now rather than on the next turn of the event loop.
    void refreshNow();
    QPushButton* rescanButton() const { return rescan_; }
    QComboBox* modelChoice() const { return modelChoice_; }
    QPushButton* checkServerAgainButton() const { return checkServerAgain_; }
    QPushButton* allowHostButton() const { return allowHost_; }
    CandidateDetailView* detail() const { return detail_; }
    RowButton* candidateRow(std::size_t index) const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void refreshHeader(Language language);
    void refreshServerChoices(Language language);
    void refreshCandidates(Language language);
    void refreshUsage(Language language);
    void fitUsage();
    // Moves the selection with the arrow keys; false for any other key.
    bool walkCandidates(int key);
    QWidget* makeCandidateRow(const PromptCandidate& candidate, Language language);

    std::shared_ptr<AppModel> model_;
    std::shared_ptr<PromptLabModel> lab_;
    ModelObserver* appObserver_;
    ModelObserver* labObserver_;
    bool startedFirstScan_ = false;

    QLabel* title_;
    QLabel* summary_;
    QLabel* privacy_;
    QLabel* availability_;
    QLabel* fallbackNote_;
    QPushButton* rescan_;
    // Drafting through a model server: the choices it offers.
    QComboBox* modelChoice_;
    QPushButton* checkServerAgain_;
    QPushButton* allowHost_;
    QStackedWidget* content_;
    QLabel* scanningText_;
    QLabel* noCandidates_;
    QScrollArea* listScroll_;
    QWidget* listColumn_;
    QVBoxLayout* listStack_;
    std::vector<RowButton*> rows_;
    std::string shownCandidates_;
    CandidateDetailView* detail_;
    QLabel* usageTitle_;
    QLabel* usageMessage_;
    QScrollArea* usageScroll_;
    QLabel* usageList_;
};

} // namespace tamsel
