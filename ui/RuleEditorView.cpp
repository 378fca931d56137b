#include "ui/RuleEditorView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/HotkeyEditor.h"
#include "ui/Icons.h"
#include "ui/IssueLabel.h"

namespace tamsel {

namespace {

QToolButton* iconButton(QWidget* parent, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setProperty("borderless", true);
    button->setIconSize(QSize(13, 13));
    return button;
}

bool isGeneral(const RuleIssue& issue) { return !issue.slot.has_value(); }

} // namespace

RuleEditorView::RuleEditorView(std::shared_ptr<AppModel> model, const Rule& rule, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), ruleID_(rule.id) {
    setObjectName("ruleEditor");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 0, 12, 10);
    column->setSpacing(8);

    auto* nameRow = new QHBoxLayout();
    nameRow->setSpacing(6);
    nameLabel_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    nameLabel_->setFixedWidth(44);
    name_ = new QLineEdit(this);
    name_->setObjectName("nameField");
    name_->setFont(Tokens::bodyFont());
    nameRow->addWidget(nameLabel_);
    nameRow->addWidget(name_, 1);
    column->addLayout(nameRow);

    send_ = new HotkeyEditor(
        TriggerKind::send,
        [this](std::string text) { update([&](Rule& r) { r.hotkey = std::move(text); }); }, this);
    insert_ = new HotkeyEditor(
        TriggerKind::insert,
        [this](std::string text) { update([&](Rule& r) { r.insertHotkey = std::move(text); }); },
        this);
    column->addWidget(send_);
    column->addWidget(insert_);

    auto* textArea = new QVBoxLayout();
    textArea->setSpacing(3);
    textLabel_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName("textField");
    text_->setProperty("bordered", true);
    text_->setFont(Tokens::promptFont());
    text_->setFixedHeight(92);
    text_->setTabChangesFocus(true);
    textArea->addWidget(textLabel_);
    textArea->addWidget(text_);
    column->addLayout(textArea);

    issueStack_ = new QVBoxLayout();
    issueStack_->setSpacing(4);
    column->addLayout(issueStack_);

    auto* bottom = new QHBoxLayout();
    bottom->setSpacing(10);
    enabled_ = new QCheckBox(this);
    enabled_->setObjectName("ruleEnabled");
    enabled_->setFont(Tokens::bodyFont());
    moveUp_ = iconButton(this, "editorMoveUp");
    moveDown_ = iconButton(this, "editorMoveDown");
    delete_ = iconButton(this, "editorDelete");
    bottom->addWidget(enabled_);
    bottom->addStretch();
    bottom->addWidget(moveUp_);
    bottom->addWidget(moveDown_);
    bottom->addWidget(delete_);
    column->addLayout(bottom);

    // The fields start from the prompt; afterwards they only follow the model
    // when it holds something else (a reload from disk).
    name_->setText(qtText(rule.name));
    text_->setPlainText(qtText(rule.text));
    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
        update([value = stdText(text)](Rule& r) { r.name = value; });
    });
    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        const std::string value = stdText(text_->toPlainText());
        update([&value](Rule& r) { r.text = value; });
    });
    connect(enabled_, &QCheckBox::clicked, this,
            [this](bool on) { update([on](Rule& r) { r.enabled = on; }); });
    connect(moveUp_, &QToolButton::clicked, this, [this] { model_->moveRule(ruleID_, -1); });
    connect(moveDown_, &QToolButton::clicked, this, [this] { model_->moveRule(ruleID_, +1); });
    connect(delete_, &QToolButton::clicked, this, [this] { deleteRule(); });
}

void RuleEditorView::update(const std::function<void(Rule&)>& change) {
    model_->updateRule(ruleID_, change);
}

void RuleEditorView::deleteRule() {
    if (model_->expandedRuleID() == ruleID_) {
        model_->setExpandedRuleID(std::nullopt);
    }
    model_->deleteRule(ruleID_);
}

void RuleEditorView::display(const Rule& rule, const std::vector<RuleIssue>& issues) {
    const Language language = model_->language();
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    nameLabel_->setText(qtText(StringKey::fieldName, language));
    name_->setPlaceholderText(qtText(StringKey::namePlaceholder, language));
    if (stdText(name_->text()) != rule.name) {
        name_->setText(qtText(rule.name));
    }
    if (stdText(text_->toPlainText()) != rule.text) {
        const QSignalBlocker blocker(text_);
        text_->setPlainText(qtText(rule.text));
    }
    textLabel_->setText(qtText(StringKey::fieldText, language));
    text_->setAccessibleName(textLabel_->text());
    text_->setPlaceholderText(qtText(StringKey::textPlaceholder, language));
    send_->display(rule.hotkey, issues, language);
    insert_->display(rule.insertHotkey, issues, language);

    std::vector<RuleIssue> general;
    std::copy_if(issues.begin(), issues.end(), std::back_inserter(general), isGeneral);
    if (!issuesBuilt_ || general != shownIssues_ || language != shownLanguage_) {
        while (QLayoutItem* item = issueStack_->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const RuleIssue& issue : general) {
            auto* label = new IssueLabel(issue, language, this);
            issueStack_->addWidget(label);
            label->show();
        }
        shownIssues_ = std::move(general);
        shownLanguage_ = language;
        issuesBuilt_ = true;
    }

    enabled_->setChecked(rule.enabled);
    enabled_->setText(qtText(StringKey::ruleEnabled, language));
    const struct {
        QToolButton* button;
        Symbol symbol;
        StringKey key;
        Tone tone;
    } buttons[] = {{moveUp_, Symbol::arrowUp, StringKey::moveUp, Tone::secondary},
                   {moveDown_, Symbol::arrowDown, StringKey::moveDown, Tone::secondary},
                   {delete_, Symbol::trash, StringKey::deletePrompt, Tone::secondary}};
    for (const auto& entry : buttons) {
        entry.button->setIcon(Icons::icon(entry.symbol, 13, palette.tone(entry.tone)));
        entry.button->setAccessibleName(qtText(entry.key, language));
        entry.button->setToolTip(entry.button->accessibleName());
    }
}

} // namespace tamsel
