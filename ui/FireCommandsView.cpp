#include "ui/FireCommandsView.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tamsel {

FireCommandsView::FireCommandsView(std::shared_ptr<AppModel> model, const SettingsActions& actions,
                                   QWidget* parent)
    : RefreshingView(parent), model_(std::move(model)), actions_(actions) {
    setObjectName("fireCommands");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    title_ = Views::label(this, Tokens::semibold(Tokens::labelFont()), Tone::primary);
    hint_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    anyWindow_ = Views::label(this, Tokens::labelFont(), Tone::warning, true);
    anyWindow_->setObjectName("fireCommandsAnyWindow");
    column->addWidget(title_);
    column->addWidget(hint_);
    column->addWidget(anyWindow_);
    lines_ = new QVBoxLayout();
    lines_->setSpacing(6);
    column->addLayout(lines_);

    copiedTimer_.setSingleShot(true);
    connect(&copiedTimer_, &QTimer::timeout, this, [this] {
        if (copiedButton_ != nullptr) {
            copiedButton_->setText(qtText(FireCommandTexts::copy(model_->language())));
            copiedButton_ = nullptr;
        }
    });
}

std::vector<FireCommandsView::Line> FireCommandsView::wantedLines() const {
    const Language language = model_->language();
    const std::string program = actions_.commandProgram();
    std::vector<Line> lines;
    for (const Rule& rule : model_->config().rules) {
        const std::string name =
            rule.name.empty() ? std::string(Strings::string(StringKey::untitledPrompt, language))
                              : rule.name;
        for (TriggerKind kind : {TriggerKind::send, TriggerKind::insert}) {
            const StringKey label =
                kind == TriggerKind::send ? StringKey::triggerSend : StringKey::triggerInsert;
            lines.push_back({name + " · " + std::string(Strings::string(label, language)),
                             FireCommand::commandFor(program, rule, kind)});
        }
    }
    return lines;
}

void FireCommandsView::refresh() {
    const Language language = model_->language();
    title_->setText(qtText(FireCommandTexts::title(language)));
    hint_->setText(qtText(FireCommandTexts::hint(language)));
    anyWindow_->setText(qtText(FireCommandTexts::anyWindow(language)));
    const auto& plan = model_->sessionPlan();
    anyWindow_->setVisible(plan && plan->frontmost == Provider::none);
    std::vector<Line> wanted = wantedLines();
    if (built_ && wanted == shown_ && builtLanguage_ == language) {
        return;
    }
    shown_ = std::move(wanted);
    builtLanguage_ = language;
    built_ = true;
    rebuild();
}

void FireCommandsView::rebuild() {
    copiedTimer_.stop();
    copiedButton_ = nullptr;
    while (QLayoutItem* item = lines_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const Line& line : shown_) {
        auto* row = new QWidget(this);
        row->setObjectName("fireCommand");
        // The command has the row's whole width, so that a usual one fits on
        // one line; it wraps at its spaces, never cut, and may be selected by
        // hand too.
        auto* layout = new QVBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(1);
        auto* heading = new QHBoxLayout();
        heading->setSpacing(8);
        auto* name = Views::label(row, Tokens::labelFont(), Tone::secondary, true);
        name->setText(qtText(line.name));
        heading->addWidget(name, 1);
        auto* button = new QPushButton(qtText(FireCommandTexts::copy(builtLanguage_)), row);
        button->setObjectName("copyFireCommand");
        button->setFont(Tokens::labelFont());
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        button->setAccessibleName(qtText(FireCommandTexts::copy(builtLanguage_) + ": " + line.command));
        connect(button, &QPushButton::clicked, this,
                [this, button, text = line.command] { copy(button, text); });
        heading->addWidget(button, 0, Qt::AlignBottom);
        auto* command = Views::label(row, Tokens::shortcutFont(), Tone::primary, true);
        command->setObjectName("fireCommandText");
        command->setText(qtText(line.command));
        command->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addLayout(heading);
        layout->addWidget(command);
        lines_->addWidget(row);
        row->show();
    }
}

void FireCommandsView::copy(QPushButton* button, const std::string& command) {
    actions_.copyText(command);
    if (copiedButton_ != nullptr && copiedButton_ != button) {
        copiedButton_->setText(qtText(FireCommandTexts::copy(builtLanguage_)));
    }
    copiedButton_ = button;
    button->setText(qtText(FireCommandTexts::copied(builtLanguage_)));
    copiedTimer_.start(copiedFeedbackMS);
}

} // namespace tamsel
