#include "ui/PromptListView.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLineEdit>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/config/Validator.h"
#include "ui/BannerView.h"
#include "ui/HeaderView.h"
#include "ui/Icons.h"
#include "ui/RuleEditorView.h"
#include "ui/RuleRowView.h"
#include "ui/ShortcutColumn.h"

namespace tamsel {

PromptListView::PromptListView(std::shared_ptr<AppModel> model, QWidget* parent)
    : RefreshingView(parent), model_(std::move(model)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    header_ = new HeaderView(model_, this);
    banners_ = new BannerView(model_, this);
    column->addWidget(header_);
    column->addWidget(Views::divider(this));
    column->addWidget(banners_);

    empty_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    empty_->setObjectName("noPrompts");
    empty_->setContentsMargins(12, 18, 12, 18);
    column->addWidget(empty_);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("promptList");
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab moves through the rows; the area itself needs no focus.
    scroll_->setFocusPolicy(Qt::NoFocus);
    listContent_ = new QWidget(scroll_);
    listContent_->setObjectName("scrollContent");
    listStack_ = new QVBoxLayout(listContent_);
    listStack_->setContentsMargins(0, 0, 0, 0);
    listStack_->setSpacing(0);
    listStack_->setSizeConstraint(QLayout::SetMinAndMaxSize);
    scroll_->setWidget(listContent_);
    // A row that grew or shrank after the refresh (fonts, wrapped warnings).
    Views::onLayoutRequest(listContent_, [this] { measureList(false); });
    column->addWidget(scroll_);

    column->addWidget(Views::divider(this));
    auto* footer = new QWidget(this);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(12, 8, 12, 8);
    footerRow->setSpacing(6);
    add_ = new QToolButton(footer);
    add_->setObjectName("addPrompt");
    add_->setProperty("borderless", true);
    add_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    add_->setFont(Tokens::bodyFont());
    add_->setIconSize(QSize(11, 11));
    settings_ = new QToolButton(footer);
    settings_->setObjectName("openSettings");
    settings_->setProperty("borderless", true);
    settings_->setIconSize(QSize(14, 14));
    footerRow->addWidget(add_);
    footerRow->addStretch();
    footerRow->addWidget(settings_);
    column->addWidget(footer);

    connect(add_, &QToolButton::clicked, this, [this] {
        const Rule added = model_->appendRule({}, {});
        model_->setExpandedRuleID(added.id);
        // The new prompt wants a name first; its editor appears on the next refresh.
        focusNameOf_ = added.id;
    });
    connect(settings_, &QToolButton::clicked, this, [this] {
        model_->reloadIfChangedExternally();
        model_->setShowsSettings(true);
    });
}

RuleRowView* PromptListView::row(const std::string& ruleID) const {
    auto found = std::find_if(rows_.begin(), rows_.end(),
                              [&](RuleRowView* row) { return row->ruleID() == ruleID; });
    return found == rows_.end() ? nullptr : *found;
}

void PromptListView::rebuildRows(const std::vector<Rule>& rules) {
    // Rows are kept while the prompts and their order stay, so that an open
    // editor keeps its focus and cursor through every keystroke.
    const bool same =
        rules.size() == rows_.size() &&
        std::equal(rules.begin(), rules.end(), rows_.begin(),
                   [](const Rule& rule, RuleRowView* row) { return rule.id == row->ruleID(); });
    if (same) {
        return;
    }
    while (QLayoutItem* item = listStack_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    rows_.clear();
    for (std::size_t i = 0; i < rules.size(); ++i) {
        // Shown at once, so that the list can be measured before the next turn.
        if (i > 0) {
            QWidget* divider = Views::divider(listContent_, 12);
            listStack_->addWidget(divider);
            divider->show();
        }
        auto* row = new RuleRowView(model_, rules[i].id, listContent_);
        listStack_->addWidget(row);
        row->show();
        rows_.push_back(row);
    }
}

void PromptListView::refresh() {
    const Language language = model_->language();
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    const auto& rules = model_->config().rules;
    header_->refresh();
    banners_->refresh();

    empty_->setVisible(rules.empty());
    empty_->setText(qtText(StringKey::noPrompts, language));
    scroll_->setVisible(!rules.empty());
    rebuildRows(rules);
    const auto issues = Validator::issues(rules);
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const auto found = issues.find(rules[i].id);
        rows_[i]->display(rules[i],
                          found == issues.end() ? std::vector<RuleIssue>{} : found->second, i == 0,
                          i + 1 == rules.size());
    }
    // One chip column width for all rows, so that the names line up.
    int columnWidth = ShortcutColumn::standardWidth;
    for (RuleRowView* row : rows_) {
        columnWidth = std::max(columnWidth, row->shortcuts()->wantedWidth());
    }
    for (RuleRowView* row : rows_) {
        row->shortcuts()->setSharedWidth(columnWidth);
    }
    measureList(true);
    if (focusNameOf_) {
        if (RuleRowView* added = row(*focusNameOf_); added && added->editor()) {
            added->editor()->nameField()->setFocus(Qt::OtherFocusReason);
            scroll_->ensureWidgetVisible(added->editor()->nameField());
        }
        focusNameOf_.reset();
    }

    add_->setText(qtText(StringKey::addPrompt, language));
    add_->setIcon(Icons::icon(Symbol::plus, 11, palette.primary));
    settings_->setIcon(Icons::icon(Symbol::gear, 14, palette.secondary));
    settings_->setAccessibleName(qtText(StringKey::openSettings, language));
    settings_->setToolTip(settings_->accessibleName());
}

void PromptListView::measureList(bool rowsChanged) {
    // Rows report their new sizes on a later turn; after a refresh the list
    // is measured afresh rather than from what it last knew.
    if (rowsChanged) {
        listStack_->invalidate();
    }
    listStack_->activate();
    listHeight_.update(Views::layoutHeight(listContent_));
    // Grows with the list, shrinks when rows close or go, and scrolls sooner
    // when the screen is short.
    const int height =
        Views::scrollHeight(this, scroll_, qRound(listHeight_.value), maximumListHeight);
    if (height != scroll_->minimumHeight() || height != scroll_->maximumHeight()) {
        scroll_->setFixedHeight(height);
    }
}

} // namespace tamsel
