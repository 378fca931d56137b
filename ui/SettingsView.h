#pragma once

// The settings page: injection method, delays, target applications, the
// commands for desktop shortcuts, language,
// launch at login, the Prompt Lab, contact, the configuration file, and the
// way to the setup guide and out of the application.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppModel.h"
#include "ui/SettingsActions.h"
#include "ui/ViewSupport.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QToolButton;
class QVBoxLayout;

namespace tamsel {

class FireCommandsView;
class SegmentedControl;

// The target-application text as the list it stands for: one identifier per
// line, spaces and tabs around it dropped, empty lines skipped.
std::vector<std::string> targetListFromText(const QString& text);

class SettingsView final : public RefreshingView {
    Q_OBJECT
public:
    static constexpr int maximumContentHeight = 560;
    static constexpr int delayStep = 10;

    SettingsView(std::shared_ptr<AppModel> model, SettingsActions actions, QWidget* parent);
    void refresh() override;
    // What the page shows may depend on them (the program the commands name).
    void setActions(SettingsActions actions) {
        actions_ = std::move(actions);
        refresh();
    }

private:
    QWidget* buildContent();
    QWidget* section(QVBoxLayout* column, int spacing, QLabel** title);
    QWidget* delayRow(QLabel** title, QSpinBox** stepper, int maximum);
    void setLaunchAtLogin(bool on);
    void measureContent(bool contentChanged);

    std::shared_ptr<AppModel> model_;
    SettingsActions actions_;

    // The page's own state.
    bool launchAtLogin_ = false;
    std::optional<std::string> loginItemError_;
    MeasuredHeight contentHeight_;
    bool didLoadTargets_ = false;

    QToolButton* back_;
    QLabel* title_;
    QScrollArea* scroll_;
    QWidget* content_;
    QLabel* injectionTitle_;
    SegmentedControl* injection_;
    QLabel* injectionNote_;
    QLabel* preDelayTitle_;
    QSpinBox* preDelay_;
    QLabel* postDelayTitle_;
    QSpinBox* postDelay_;
    QLabel* targetsTitle_;
    QPlainTextEdit* targets_;
    QLabel* targetsHint_;
    FireCommandsView* fireCommands_;
    QLabel* languageTitle_;
    SegmentedControl* language_;
    QCheckBox* launchAtLoginBox_;
    QLabel* loginError_;
    QPushButton* labOpen_;
    QLabel* labNote_;
    QLabel* modelServerTitle_;
    QLineEdit* modelServer_;
    QPushButton* contact_;
    QLabel* contactNote_;
    QPushButton* openConfig_;
    QPushButton* revealConfig_;
    QLabel* aboutSecureInput_;
    QToolButton* setupGuide_;
    QToolButton* quit_;
};

} // namespace tamsel
