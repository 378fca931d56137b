#include "ui/HotkeyEditor.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/Icons.h"
#include "ui/IssueLabel.h"

namespace tamsel {

namespace {

constexpr int titleWidth = 116;

// A modifier toggle as wide as its name and the style's border and padding
// (one and four points a side, or two and three with the focus ring): PC
// names ("Shift", "Super") are longer than symbols, and four of them share
// the row with the title and the key picker.
class ModifierToggle final : public QToolButton {
public:
    using QToolButton::QToolButton;
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(text()) + 2 * (1 + 4) + 2,
                QToolButton::sizeHint().height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace

HotkeyEditor::HotkeyEditor(TriggerKind kind, std::function<void(std::string)> write,
                           QWidget* parent)
    : QWidget(parent), kind_(kind), write_(std::move(write)) {
    setObjectName(kind == TriggerKind::send ? "sendEditor" : "insertEditor");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);

    auto* row = new QHBoxLayout();
    row->setSpacing(6);
    auto* titleArea = new QWidget(this);
    titleArea->setFixedWidth(titleWidth);
    auto* titleRow = new QHBoxLayout(titleArea);
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->setSpacing(3);
    icon_ = new QLabel(titleArea);
    title_ = Views::label(titleArea, Tokens::labelFont(), Tone::secondary);
    titleRow->addWidget(icon_);
    titleRow->addWidget(title_, 1);
    row->addWidget(titleArea);

    for (std::size_t i = 0; i < toggles_.size(); ++i) {
        const Modifiers member = Modifiers::allMembers[i];
        auto* button = new ModifierToggle(this);
        button->setProperty("modifier", true);
        button->setCheckable(true);
        button->setFont(Tokens::shortcutFont());
        button->setText(qtText(Modifiers::mark(member, platformKeyNaming)));
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        if (platformKeyNaming == KeyNaming::symbols) {
            button->setFixedWidth(24);
        }
        button->setAccessibleName(qtText(Modifiers::spokenName(member, platformKeyNaming)));
        button->setToolTip(button->accessibleName());
        connect(button, &QToolButton::clicked, this,
                [this, member](bool on) { toggle(member, on); });
        toggles_[i] = button;
        row->addWidget(button);
    }

    picker_ = new QComboBox(this);
    picker_->setObjectName("keyPicker");
    picker_->setFont(Tokens::bodyFont());
    picker_->setFixedWidth(92);
    picker_->addItem(QStringLiteral("—"));
    for (MainKey key : MainKeys::allCases) {
        picker_->addItem(qtText(MainKeys::pickerLabel(key)));
    }
    connect(picker_, &QComboBox::activated, this, [this](int index) { pick(index); });
    row->addWidget(picker_);
    row->addStretch();
    column->addLayout(row);

    issueStack_ = new QVBoxLayout();
    issueStack_->setContentsMargins(titleWidth, 0, 0, 0);
    issueStack_->setSpacing(3);
    column->addLayout(issueStack_);
}

QToolButton* HotkeyEditor::modifierToggle(Modifiers member) const {
    for (std::size_t i = 0; i < toggles_.size(); ++i) {
        if (Modifiers::allMembers[i] == member) {
            return toggles_[i];
        }
    }
    return nullptr;
}

void HotkeyEditor::display(const std::string& hotkeyText, const std::vector<RuleIssue>& issues,
                           Language language) {
    hotkeyText_ = hotkeyText;
    const auto hotkey = Hotkey::parse(hotkeyText);
    const bool send = kind_ == TriggerKind::send;
    const QColor iconColor =
        Palette::of(Tokens::appearanceOf(this)).tone(send ? Tone::accent : Tone::secondary);
    icon_->setPixmap(
        Icons::pixmap(send ? Symbol::paperplane : Symbol::textBadgePlus, 9, iconColor));
    const QString title =
        qtText(send ? StringKey::triggerSend : StringKey::triggerInsert, language);
    title_->setText(title);
    for (std::size_t i = 0; i < toggles_.size(); ++i) {
        toggles_[i]->setChecked(hotkey && hotkey->modifiers.contains(Modifiers::allMembers[i]));
    }
    int index = 0;
    for (std::size_t i = 0; hotkey && i < MainKeys::allCases.size(); ++i) {
        if (MainKeys::allCases[i] == hotkey->key) {
            index = static_cast<int>(i) + 1;
        }
    }
    picker_->setCurrentIndex(index);
    picker_->setAccessibleName(title + QStringLiteral(" — ") +
                               qtText(StringKey::mainKey, language));

    std::vector<RuleIssue> mine;
    for (const RuleIssue& issue : issues) {
        if (issue.slot == kind_) {
            mine.push_back(issue);
        }
    }
    if (mine == shownIssues_ && language == shownLanguage_ &&
        issueStack_->count() == int(mine.size())) {
        return;
    }
    while (QLayoutItem* item = issueStack_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const RuleIssue& issue : mine) {
        auto* label = new IssueLabel(issue, language, this);
        issueStack_->addWidget(label);
        label->show();
    }
    shownIssues_ = std::move(mine);
    shownLanguage_ = language;
}

void HotkeyEditor::toggle(Modifiers member, bool on) {
    auto hotkey = Hotkey::parse(hotkeyText_);
    if (!hotkey) {
        // No key chosen yet: there is nothing to add a modifier to.
        modifierToggle(member)->setChecked(false);
        return;
    }
    hotkey->modifiers.rawValue = on ? (hotkey->modifiers.rawValue | member.rawValue)
                                    : (hotkey->modifiers.rawValue & ~member.rawValue);
    write_(hotkey->stringValue());
}

void HotkeyEditor::pick(int index) {
    if (index <= 0) {
        write_(std::string());
        return;
    }
    const MainKey key = MainKeys::allCases[static_cast<std::size_t>(index - 1)];
    const auto current = Hotkey::parse(hotkeyText_);
    write_(Hotkey{current ? current->modifiers : Modifiers::command, key}.stringValue());
}

} // namespace tamsel
