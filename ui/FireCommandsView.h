#pragma once

// The settings page's list of `tamsel --fire` commands, one per prompt and
// kind, each with a button that copies it: what a desktop's own shortcut
// settings need where Tamsel cannot watch keys itself.

#include <memory>
#include <string>
#include <vector>

#include <QTimer>

#include "app/AppModel.h"
#include "ui/SettingsActions.h"
#include "ui/ViewSupport.h"

class QPushButton;
class QVBoxLayout;

namespace tamsel {

class FireCommandsView final : public RefreshingView {
    Q_OBJECT
public:
    // How long a copy button says "Copied".
    static constexpr int copiedFeedbackMS = 1500;

    FireCommandsView(std::shared_ptr<AppModel> model, const SettingsActions& actions,
                     QWidget* parent);
    void refresh() override;

private:
    struct Line {
        std::string name;
        std::string command;
        bool operator==(const Line&) const = default;
    };
    std::vector<Line> wantedLines() const;
    void rebuild();
    void copy(QPushButton* button, const std::string& command);

    std::shared_ptr<AppModel> model_;
    const SettingsActions& actions_;
    std::vector<Line> shown_;
    bool built_ = false;
    Language builtLanguage_ = Language::en;

    QLabel* title_;
    QLabel* hint_;
    QLabel* anyWindow_;
    QVBoxLayout* lines_;
    QPushButton* copiedButton_ = nullptr;
    QTimer copiedTimer_;
};

} // namespace tamsel
