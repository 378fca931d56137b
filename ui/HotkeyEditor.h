#pragma once

// One shortcut slot of a prompt: modifier toggles and a key picker, with the
// validator's findings for that slot below. The slot's text is read from the
// prompt on every refresh and written back through `write`.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/config/Validator.h"
#include "ui/ViewSupport.h"

class QComboBox;
class QToolButton;
class QVBoxLayout;

namespace tamsel {

class HotkeyEditor final : public QWidget {
    Q_OBJECT
public:
    HotkeyEditor(TriggerKind kind, std::function<void(std::string)> write, QWidget* parent);

    // `issues` are all of the prompt's; only this slot's are shown.
    void display(const std::string& hotkeyText, const std::vector<RuleIssue>& issues,
                 Language language);

    QToolButton* modifierToggle(Modifiers member) const;
    QComboBox* keyPicker() const { return picker_; }

private:
    void toggle(Modifiers member, bool on);
    void pick(int index);

    TriggerKind kind_;
    std::function<void(std::string)> write_;
    std::string hotkeyText_;
    QLabel* icon_;
    QLabel* title_;
    std::array<QToolButton*, 4> toggles_{};
    QComboBox* picker_;
    QVBoxLayout* issueStack_;
    std::vector<RuleIssue> shownIssues_;
    Language shownLanguage_ = Language::en;
};

} // namespace tamsel
