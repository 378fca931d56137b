#include "ui/CandidateDetailView.h"

#include "app/DraftingTexts.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include "core/toolkit/TextToolkit.h"
#include "ui/ElidedLabel.h"
#include "ui/Spinner.h"

namespace tamsel {

namespace {

QVBoxLayout* labelledField(QVBoxLayout* column, QLabel* label) {
    auto* field = new QVBoxLayout();
    field->setSpacing(4);
    field->addWidget(label);
    column->addLayout(field);
    return field;
}

} // namespace

CandidateDetailView::CandidateDetailView(std::shared_ptr<AppModel> model,
                                         std::shared_ptr<PromptLabModel> lab, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), lab_(std::move(lab)) {
    setObjectName("candidateDetail");
    const Palette& palette = Palette::of(Tokens::appearanceOf(parent));
    // The fields and the evidence scroll; the add button stays in view below
    // them, whatever the window's height.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("detailScroll");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* fields = new QWidget(scroll);
    fields->setObjectName("scrollContent");
    scroll->setWidget(fields);
    outer->addWidget(scroll, 1);
    auto* column = new QVBoxLayout(fields);
    column->setContentsMargins(14, 14, 14, 8);
    column->setSpacing(12);

    nameLabel_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    name_ = new QLineEdit(this);
    name_->setObjectName("labName");
    name_->setFont(Tokens::bodyFont());
    labelledField(column, nameLabel_)->addWidget(name_);

    textLabel_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    QVBoxLayout* textField = labelledField(column, textLabel_);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName("labText");
    text_->setFont(Tokens::promptFont());
    text_->setFixedHeight(110);
    text_->setTabChangesFocus(true);
    QColor border = palette.secondary;
    border.setAlphaF(0.3);
    text_->setStyleSheet(QStringLiteral("QPlainTextEdit { border: 1px solid %1; border-radius: 3px;"
                                        " background: %2; color: %3; }"
                                        " QPlainTextEdit:focus { border: 2px solid %4; }")
                             .arg(border.name(QColor::HexArgb), palette.textBackground.name(),
                                  palette.primary.name(), palette.focusRing().name()));
    textField->addWidget(text_);
    auto* statusRow = new QHBoxLayout();
    statusRow->setSpacing(6);
    drafting_ = new Spinner(11, this);
    status_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    status_->setObjectName("draftStatus");
    cancelDraft_ = new QPushButton(this);
    cancelDraft_->setObjectName("cancelDraft");
    cancelDraft_->setFont(Tokens::labelFont());
    connect(cancelDraft_, &QPushButton::clicked, this, [this] { lab_->cancelDraft(); });
    statusRow->addWidget(drafting_);
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(cancelDraft_);
    textField->addLayout(statusRow);

    auto* evidence = new QVBoxLayout();
    evidence->setSpacing(6);
    auto* evidenceRow = new QHBoxLayout();
    evidenceRow->setSpacing(8);
    evidenceTitle_ = Views::label(this, Tokens::labelFont(), Tone::primary);
    evidenceDetail_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    source_ = new ElidedLabel(Qt::ElideMiddle, this);
    source_->setFont(Tokens::labelFont());
    Tokens::setTone(source_, Tone::secondary);
    evidenceRow->addWidget(evidenceTitle_);
    evidenceRow->addWidget(evidenceDetail_);
    evidenceRow->addWidget(source_, 1);
    evidence->addLayout(evidenceRow);
    context_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    evidence->addWidget(context_);
    examples_ = new QWidget(this);
    examples_->setProperty("surface", "evidence");
    examples_->setAttribute(Qt::WA_StyledBackground);
    exampleStack_ = new QVBoxLayout(examples_);
    exampleStack_->setContentsMargins(8, 8, 8, 8);
    exampleStack_->setSpacing(3);
    evidence->addWidget(examples_);
    // A long section shows its first lines; the count above is of all of them.
    moreExamples_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    moreExamples_->setObjectName("moreExamples");
    evidence->addWidget(moreExamples_);
    column->addLayout(evidence);

    column->addStretch();

    auto* adoptRow = new QHBoxLayout();
    adoptRow->setContentsMargins(14, 6, 14, 12);
    adoptRow->addStretch();
    adopt_ = new QPushButton(this);
    adopt_->setObjectName("labAdopt");
    adopt_->setFont(Tokens::bodyFont());
    adopt_->setDefault(true);
    adoptRow->addWidget(adopt_);
    outer->addLayout(adoptRow);

    connect(name_, &QLineEdit::textEdited, this,
            [this](const QString& text) { lab_->setEditedName(stdText(text)); });
    connect(text_, &QPlainTextEdit::textChanged, this,
            [this] { lab_->setEditedText(stdText(text_->toPlainText())); });
    connect(adopt_, &QPushButton::clicked, this, [this] { lab_->adopt(*model_); });
    // The add button is the window's default: Return presses it, unless the
    // text editor wants the line break.
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Return), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] {
        if (!text_->hasFocus() && adopt_->isEnabled()) {
            adopt_->click();
        }
    });
}

void CandidateDetailView::refresh() {
    const PromptCandidate* candidate = lab_->selected();
    if (candidate == nullptr) {
        return;
    }
    const Language language = model_->language();
    nameLabel_->setText(qtText(StringKey::fieldName, language));
    textLabel_->setText(qtText(StringKey::fieldText, language));
    if (stdText(name_->text()) != lab_->editedName()) {
        name_->setText(qtText(lab_->editedName()));
    }
    if (stdText(text_->toPlainText()) != lab_->editedText()) {
        const QSignalBlocker blocker(text_);
        text_->setPlainText(qtText(lab_->editedText()));
    }
    drafting_->setVisible(lab_->isDrafting());
    cancelDraft_->setVisible(lab_->isDrafting());
    cancelDraft_->setText(qtText(DraftingTexts::cancelDraft(language)));
    status_->setText(qtText(lab_->isDrafting()      ? StringKey::labDrafting
                            : lab_->textIsDrafted() ? StringKey::labDraftNote
                                                    : StringKey::labOriginal,
                            language));
    refreshEvidence(*candidate, language);
    // One prompt per suggestion: once added, the button says so and rests.
    const bool adopted = lab_->adoptedIDs().count(candidate->id) > 0;
    adopt_->setText(qtText(adopted ? StringKey::labAdopted : StringKey::labAdopt, language));
    adopt_->setEnabled(!adopted &&
                       !TextToolkit::trimWhitespaceAndNewlines(lab_->editedText()).empty());
}

void CandidateDetailView::refreshEvidence(const PromptCandidate& candidate, Language language) {
    evidenceTitle_->setText(qtText(StringKey::labEvidence, language));
    evidenceDetail_->setText(
        qtText(Strings::labEvidenceDetail(candidate.kind, candidate.occurrences, language)));
    source_->setVisible(candidate.sourceName.has_value());
    if (candidate.sourceName) {
        source_->setFullText(QStringLiteral("· ") + qtText(StringKey::labSource, language) +
                             QStringLiteral(": ") + qtText(*candidate.sourceName));
    }
    context_->setVisible(candidate.context.has_value());
    if (candidate.context) {
        context_->setText(qtText(*candidate.context));
    }
    const int shown = static_cast<int>(candidate.examples.size());
    moreExamples_->setVisible(candidate.kind == CandidateKind::convention && shown > 0 &&
                              shown < candidate.occurrences);
    moreExamples_->setText(
        qtText(Strings::labExamplesShown(shown, candidate.occurrences, language)));
    if (candidate.examples == shownExamples_ && exampleStack_->count() > 0) {
        return;
    }
    while (QLayoutItem* item = exampleStack_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const std::string& example : candidate.examples) {
        auto* line = Views::label(examples_, Tokens::labelFont(), Tone::primary, true);
        line->setText(QStringLiteral("・") + qtText(example));
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        exampleStack_->addWidget(line);
        line->show();
    }
    shownExamples_ = candidate.examples;
}

} // namespace tamsel
