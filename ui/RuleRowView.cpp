#include "ui/RuleRowView.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

#include "ui/ElidedLabel.h"
#include "ui/Icons.h"
#include "ui/RowButton.h"
#include "ui/RuleEditorView.h"
#include "ui/ShortcutColumn.h"

namespace tamsel {

namespace {

QString previewOf(const std::string& text) {
    QString preview = qtText(text);
    preview.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return preview.trimmed();
}

} // namespace

RuleRowView::RuleRowView(std::shared_ptr<AppModel> model, const std::string& ruleID,
                         QWidget* parent)
    : QWidget(parent), model_(std::move(model)), ruleID_(ruleID) {
    setObjectName("ruleRow");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    summary_ = new RowButton(this);
    summary_->setObjectName("ruleSummary");
    auto* row = new QHBoxLayout(summary_);
    row->setContentsMargins(12, 7, 12, 7);
    row->setSpacing(8);
    shortcuts_ = new ShortcutColumn(summary_);
    name_ = new ElidedLabel(Qt::ElideRight, summary_);
    name_->setObjectName("ruleName");
    name_->setFont(Tokens::bodyFont());
    Tokens::setTone(name_, Tone::primary);
    warning_ = new QLabel(summary_);
    warning_->setObjectName("ruleWarning");
    preview_ = new ElidedLabel(Qt::ElideRight, summary_);
    preview_->setObjectName("rulePreview");
    preview_->setFont(Tokens::labelFont());
    preview_->setMaximumWidth(130);
    Tokens::setTone(preview_, Tone::secondary);
    chevron_ = new QLabel(summary_);
    row->addWidget(shortcuts_);
    row->addWidget(name_, 1);
    row->addWidget(warning_);
    row->addStretch();
    row->addWidget(preview_);
    row->addWidget(chevron_);
    summary_->makeChildrenTransparent();
    column->addWidget(summary_);

    connect(summary_, &QAbstractButton::clicked, this, [this] { toggleExpansion(); });
    summary_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(summary_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = makeContextMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(summary_->mapToGlobal(at));
    });
}

bool RuleRowView::isExpanded() const {
    return model_->expandedRuleID() == ruleID_;
}

void RuleRowView::toggleExpansion() {
    if (isExpanded()) {
        model_->setExpandedRuleID(std::nullopt);
    } else {
        model_->setExpandedRuleID(ruleID_);
    }
}

void RuleRowView::deleteRule() {
    if (isExpanded()) {
        model_->setExpandedRuleID(std::nullopt);
    }
    model_->deleteRule(ruleID_);
}

QMenu* RuleRowView::makeContextMenu(QWidget* parent) {
    const Language language = model_->language();
    auto* menu = new QMenu(parent);
    QAction* up = menu->addAction(qtText(StringKey::moveUp, language));
    up->setEnabled(!isFirst_);
    connect(up, &QAction::triggered, this, [this] { model_->moveRule(ruleID_, -1); });
    QAction* down = menu->addAction(qtText(StringKey::moveDown, language));
    down->setEnabled(!isLast_);
    connect(down, &QAction::triggered, this, [this] { model_->moveRule(ruleID_, +1); });
    menu->addSeparator();
    QAction* remove = menu->addAction(qtText(StringKey::deletePrompt, language));
    remove->setIcon(
        Icons::icon(Symbol::trash, 13, Palette::of(Tokens::appearanceOf(this)).warning));
    connect(remove, &QAction::triggered, this, [this] { deleteRule(); });
    return menu;
}

void RuleRowView::display(const Rule& rule, const std::vector<RuleIssue>& issues, bool isFirst,
                          bool isLast) {
    isFirst_ = isFirst;
    isLast_ = isLast;
    const Language language = model_->language();
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    const bool expanded = isExpanded();

    // A prompt that cannot fire now (Tamsel paused, or the prompt turned
    // off) is drawn faint, so that the list says so at a glance.
    const bool dimmed = !model_->config().enabled || !rule.enabled;
    shortcuts_->display(rule, language, dimmed);
    name_->setFullText(rule.name.empty() ? qtText(StringKey::untitledPrompt, language)
                                         : qtText(rule.name));
    Tokens::setTone(name_, dimmed ? Tone::tertiary : Tone::primary);
    summary_->setProperty("dimmed", dimmed);
    warning_->setVisible(!issues.empty());
    if (!issues.empty()) {
        warning_->setPixmap(Icons::pixmap(Symbol::warning, 10, palette.warning));
    }
    const bool showsPreview = !expanded && !rule.text.empty();
    preview_->setVisible(showsPreview);
    if (showsPreview) {
        preview_->setFullText(previewOf(rule.text));
    }
    chevron_->setPixmap(
        Icons::pixmap(expanded ? Symbol::chevronUp : Symbol::chevronDown, 9, palette.secondary));
    summary_->setAccessibleName(
        qtText(expanded ? StringKey::collapseRow : StringKey::expandRow, language));

    if (expanded && editor_ == nullptr) {
        editor_ = new RuleEditorView(model_, rule, this);
        layout()->addWidget(editor_);
        editor_->show();
    } else if (!expanded && editor_ != nullptr) {
        delete editor_;
        editor_ = nullptr;
    }
    if (editor_ != nullptr) {
        editor_->display(rule, issues);
    }
}

} // namespace tamsel
