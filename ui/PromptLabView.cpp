#include "ui/PromptLabView.h"

#include <algorithm>

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/DraftingTexts.h"
#include "ui/CandidateDetailView.h"
#include "ui/ElidedLabel.h"
#include "ui/Icons.h"
#include "ui/ModelObserver.h"
#include "ui/RowButton.h"
#include "ui/Spinner.h"

namespace tamsel {

namespace {

enum ContentPage { scanningPage, emptyPage, resultsPage };

StringKey kindLabel(CandidateKind kind) {
    switch (kind) {
    case CandidateKind::unfollowedConvention:
        return StringKey::labKindUnfollowed;
    case CandidateKind::convention:
        return StringKey::labKindConvention;
    case CandidateKind::correction:
        return StringKey::labKindCorrection;
    case CandidateKind::repeated:
        return StringKey::labKindRepeated;
    }
    return StringKey::labKindRepeated;
}

StringKey availabilityText(DrafterAvailability availability) {
    switch (availability) {
    case DrafterAvailability::available:
        return StringKey::labModelAvailable;
    case DrafterAvailability::unsupportedOS:
        return StringKey::labModelUnsupportedOS;
    case DrafterAvailability::deviceNotEligible:
        return StringKey::labModelDeviceNotEligible;
    case DrafterAvailability::notEnabled:
        return StringKey::labModelNotEnabled;
    case DrafterAvailability::notReady:
        return StringKey::labModelNotReady;
    }
    return StringKey::labModelNotReady;
}

void clear(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

// The list column less the row's padding and room for a scroll bar.
constexpr int candidateTextWidth = 280 - 24 - 10;

// `text` as it fits in two wrapped lines of `width`, with an ellipsis where
// it had to be cut.
QString twoLines(const QString& text, const QFont& font, int width) {
    const QFontMetrics metrics(font);
    const auto height = [&](const QString& candidate) {
        return metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, candidate)
            .height();
    };
    const int limit = metrics.lineSpacing() * 2 + 1;
    if (height(text) <= limit) {
        return text;
    }
    qsizetype low = 0;
    qsizetype high = text.size();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (height(text.left(middle).trimmed() + QStringLiteral("…")) <= limit) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return text.left(low).trimmed() + QStringLiteral("…");
}

// `text` with no place left to break a line: spaces made non-breaking and a
// word joiner between the other characters (Japanese breaks anywhere).
QString unbreakable(const QString& text) {
    QString out;
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        out += c == QLatin1Char(' ') ? QChar(0x00A0) : c;
        const bool insidePair = c.isHighSurrogate();
        if (!insidePair && i + 1 < text.size() && text[i + 1] != QLatin1Char(' ') &&
            c != QLatin1Char(' ')) {
            out += QChar(0x2060);
        }
    }
    return out;
}

QWidget* centred(QWidget* parent, QWidget* inner) {
    auto* holder = new QWidget(parent);
    auto* layout = new QVBoxLayout(holder);
    layout->addStretch();
    layout->addWidget(inner, 0, Qt::AlignHCenter);
    layout->addStretch();
    return holder;
}

QScrollArea* scrollArea(QWidget* parent, QWidget* content) {
    auto* scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    content->setObjectName("scrollContent");
    scroll->setWidget(content);
    return scroll;
}

} // namespace

PromptLabView::PromptLabView(std::shared_ptr<AppModel> model, std::shared_ptr<PromptLabModel> lab,
                             QWidget* parent)
    : QWidget(parent), model_(std::move(model)), lab_(std::move(lab)) {
    setObjectName("promptLab");
    setMinimumSize(minimumWidth, minimumHeight);
    setFont(Tokens::bodyFont());
    if (parent == nullptr) {
        Tokens::applyAppearance(this, Tokens::systemAppearance());
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header.
    auto* header = new QHBoxLayout();
    header->setContentsMargins(14, 10, 14, 10);
    header->setSpacing(10);
    auto* leading = new QVBoxLayout();
    leading->setSpacing(3);
    title_ = Views::label(this, Tokens::titleFont(), Tone::primary);
    summary_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    summary_->setObjectName("labSummary");
    privacy_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    leading->addWidget(title_);
    leading->addWidget(summary_);
    leading->addWidget(privacy_);
    leading->addStretch();
    header->addLayout(leading, 1);
    auto* trailing = new QVBoxLayout();
    trailing->setSpacing(4);
    availability_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    availability_->setObjectName("modelStatus");
    availability_->setAlignment(Qt::AlignRight);
    fallbackNote_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    fallbackNote_->setAlignment(Qt::AlignRight);
    // Wraps rather than crowding out the title at the window's smallest.
    fallbackNote_->setMinimumWidth(200);
    fallbackNote_->setMaximumWidth(260);
    rescan_ = new QPushButton(this);
    rescan_->setObjectName("labRescan");
    rescan_->setFont(Tokens::bodyFont());
    modelChoice_ = new QComboBox(this);
    modelChoice_->setObjectName("modelChoice");
    modelChoice_->setFont(Tokens::labelFont());
    modelChoice_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    checkServerAgain_ = new QPushButton(this);
    checkServerAgain_->setObjectName("checkServerAgain");
    checkServerAgain_->setFont(Tokens::labelFont());
    allowHost_ = new QPushButton(this);
    allowHost_->setObjectName("allowHost");
    allowHost_->setFont(Tokens::labelFont());
    auto* serverRow = new QHBoxLayout();
    serverRow->setSpacing(6);
    serverRow->addStretch();
    serverRow->addWidget(modelChoice_);
    serverRow->addWidget(allowHost_);
    serverRow->addWidget(checkServerAgain_);
    // A server's status can be a sentence or two: it wraps like the note.
    availability_->setWordWrap(true);
    availability_->setMinimumWidth(200);
    availability_->setMaximumWidth(260);
    // Not aligned within the column: an aligned label gets one line's
    // height, whatever its wrapped text needs.
    trailing->addWidget(availability_);
    trailing->addLayout(serverRow);
    trailing->addWidget(fallbackNote_);
    trailing->addSpacing(2);
    trailing->addWidget(rescan_, 0, Qt::AlignRight);
    trailing->addStretch();
    header->addLayout(trailing);
    column->addLayout(header);
    column->addWidget(Views::divider(this));

    // Content: progress, nothing found, or the suggestions.
    content_ = new QStackedWidget(this);
    auto* scanning = new QWidget(this);
    auto* scanningStack = new QVBoxLayout(scanning);
    scanningStack->setSpacing(8);
    scanningStack->addWidget(new Spinner(20, scanning), 0, Qt::AlignHCenter);
    scanningText_ = Views::label(scanning, Tokens::labelFont(), Tone::secondary);
    scanningStack->addWidget(scanningText_, 0, Qt::AlignHCenter);
    content_->addWidget(centred(content_, scanning));
    noCandidates_ = Views::label(this, Tokens::bodyFont(), Tone::secondary);
    noCandidates_->setObjectName("labNoCandidates");
    content_->addWidget(centred(content_, noCandidates_));

    auto* results = new QWidget(content_);
    auto* split = new QHBoxLayout(results);
    split->setContentsMargins(0, 0, 0, 0);
    split->setSpacing(0);
    listColumn_ = new QWidget();
    listStack_ = new QVBoxLayout(listColumn_);
    listStack_->setContentsMargins(0, 0, 0, 0);
    listStack_->setSpacing(0);
    listScroll_ = scrollArea(results, listColumn_);
    listScroll_->setObjectName("candidateList");
    listScroll_->setFixedWidth(280);
    listScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listScroll_->setFocusPolicy(Qt::NoFocus);
    listScroll_->installEventFilter(this);
    split->addWidget(listScroll_);
    auto* line = new QFrame(results);
    line->setProperty("divider", true);
    line->setFixedWidth(1);
    split->addWidget(line);
    detail_ = new CandidateDetailView(model_, lab_, results);
    split->addWidget(detail_, 1);
    content_->addWidget(results);
    column->addWidget(content_, 1);
    column->addWidget(Views::divider(this));

    // Usage footer.
    auto* footer = new QVBoxLayout();
    footer->setContentsMargins(14, 8, 14, 8);
    footer->setSpacing(4);
    usageTitle_ = Views::label(this, Tokens::labelFont(), Tone::secondary);
    usageMessage_ = Views::label(this, Tokens::labelFont(), Tone::primary, true);
    usageMessage_->setObjectName("usageMessage");
    // The entries wrap between entries, never inside a word; a long list
    // scrolls after a few lines instead of pushing the suggestions away.
    auto* usageContent = new QWidget();
    auto* usageColumn = new QVBoxLayout(usageContent);
    usageColumn->setContentsMargins(0, 0, 0, 0);
    usageList_ = Views::label(usageContent, Tokens::labelFont(), Tone::primary, true);
    usageList_->setObjectName("usageEntries");
    usageList_->setTextFormat(Qt::RichText);
    usageColumn->addWidget(usageList_);
    usageColumn->addStretch();
    usageScroll_ = scrollArea(this, usageContent);
    usageScroll_->setObjectName("usageList");
    usageScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    usageScroll_->setFocusPolicy(Qt::NoFocus);
    footer->addWidget(usageTitle_);
    footer->addWidget(usageMessage_);
    footer->addWidget(usageScroll_);
    column->addLayout(footer);

    connect(rescan_, &QPushButton::clicked, this, [this] {
        QTimer::singleShot(0, this,
                           [this] { lab_->scan(model_->config().rules, model_->language()); });
    });
    connect(checkServerAgain_, &QPushButton::clicked, this, [this] { lab_->discoverModelAgain(); });
    connect(allowHost_, &QPushButton::clicked, this, [this] {
        if (const auto& status = lab_->serverStatus()) {
            lab_->confirmModelHost(status->host);
        }
    });
    connect(modelChoice_, &QComboBox::activated, this, [this](int index) {
        const std::string model = modelChoice_->itemText(index).toStdString();
        if (!model.empty()) {
            lab_->chooseModel(model);
        }
    });
    appObserver_ = new ModelObserver(*model_, [this] { refresh(); }, this);
    labObserver_ = new ModelObserver(*lab_, [this] { refresh(); }, this);
    refresh();
}

PromptLabView::~PromptLabView() = default;

void PromptLabView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (startedFirstScan_) {
        return;
    }
    startedFirstScan_ = true;
    // Reopening after a scan shows the earlier results; only a fresh model scans.
    QTimer::singleShot(0, this, [this] {
        if (lab_->phase() == PromptLabModel::Phase::idle) {
            lab_->scan(model_->config().rules, model_->language());
        }
    });
}

void PromptLabView::refreshNow() {
    appObserver_->flush();
    labObserver_->flush();
}

RowButton* PromptLabView::candidateRow(std::size_t index) const {
    return index < rows_.size() ? rows_[index] : nullptr;
}

void PromptLabView::refresh() {
    const Language language = model_->language();
    refreshHeader(language);
    scanningText_->setText(qtText(StringKey::labScanning, language));
    noCandidates_->setText(qtText(StringKey::labNoCandidates, language));
    if (lab_->phase() != PromptLabModel::Phase::ready) {
        content_->setCurrentIndex(scanningPage);
    } else if (lab_->candidates().empty()) {
        content_->setCurrentIndex(emptyPage);
    } else {
        content_->setCurrentIndex(resultsPage);
        refreshCandidates(language);
        detail_->setVisible(lab_->selected() != nullptr);
        detail_->refresh();
    }
    refreshUsage(language);
}

void PromptLabView::refreshHeader(Language language) {
    title_->setText(qtText(StringKey::labTitle, language));
    const bool ready = lab_->phase() == PromptLabModel::Phase::ready;
    summary_->setVisible(ready);
    if (ready) {
        summary_->setText(qtText(Strings::labSummary(
            int(lab_->promptCount()), int(lab_->dayCount()), int(lab_->sectionCount()), language)));
    }
    privacy_->setText(qtText(StringKey::labPrivacyNote, language));
    const bool available = lab_->availability() == DrafterAvailability::available;
    const auto& server = lab_->serverStatus();
    availability_->setText(server ? qtText(DraftingTexts::statusLine(*server, language))
                                  : qtText(availabilityText(lab_->availability()), language));
    Tokens::setTone(availability_, available ? Tone::secondary : Tone::warning);
    refreshServerChoices(language);
    fallbackNote_->setVisible(!available);
    fallbackNote_->setText(qtText(StringKey::labModelFallbackNote, language));
    rescan_->setText(qtText(StringKey::labRescan, language));
    rescan_->setEnabled(lab_->phase() != PromptLabModel::Phase::scanning);
}

void PromptLabView::refreshServerChoices(Language language) {
    using State = ModelServerStatus::State;
    const auto& server = lab_->serverStatus();
    const bool choosing =
        server && (server->state == State::chooseModel ||
                   (server->state == State::ready && server->models.size() > 1));
    modelChoice_->setVisible(choosing);
    if (choosing) {
        QStringList models;
        for (const std::string& model : server->models) {
            models << qtText(model);
        }
        QStringList shown;
        for (int index = 0; index < modelChoice_->count(); ++index) {
            shown << modelChoice_->itemText(index);
        }
        const QSignalBlocker quiet(modelChoice_);
        if (shown != models) {
            modelChoice_->clear();
            modelChoice_->addItems(models);
        }
        // While asking, nothing is chosen yet: the placeholder shows.
        const bool asking = server->state == State::chooseModel;
        modelChoice_->setCurrentIndex(asking ? -1 : int(models.indexOf(qtText(server->model))));
        modelChoice_->setPlaceholderText(qtText(DraftingTexts::chooseModel(language)));
        modelChoice_->setAccessibleName(qtText(DraftingTexts::chooseModel(language)));
    }
    allowHost_->setVisible(server && server->state == State::hostNotConfirmed);
    if (server) {
        allowHost_->setText(qtText(DraftingTexts::sendTo(server->host, language)));
    }
    checkServerAgain_->setVisible(server && server->state != State::ready &&
                                  server->state != State::searching);
    checkServerAgain_->setText(qtText(DraftingTexts::checkAgain(language)));
}

QWidget* PromptLabView::makeCandidateRow(const PromptCandidate& candidate, Language language) {
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    auto* button = new RowButton(listColumn_);
    button->setObjectName("candidateRow");
    auto* stack = new QVBoxLayout(button);
    stack->setContentsMargins(12, 7, 12, 7);
    stack->setSpacing(3);
    auto* top = new QHBoxLayout();
    top->setSpacing(5);
    auto* kind =
        Views::label(button, Tokens::labelFont(),
                     candidate.kind == CandidateKind::convention ? Tone::secondary : Tone::accent);
    kind->setText(qtText(kindLabel(candidate.kind), language));
    top->addWidget(kind);
    top->addStretch();
    if (lab_->adoptedIDs().count(candidate.id) > 0) {
        auto* check = new QLabel(button);
        check->setObjectName("adoptedMark");
        check->setPixmap(Icons::pixmap(Symbol::checkmarkCircle, 12, palette.secondary));
        check->setAccessibleName(qtText(StringKey::labAdopted, language));
        top->addWidget(check);
    }
    stack->addLayout(top);
    auto* name = Views::label(button, Tokens::bodyFont(), Tone::primary, true);
    name->setObjectName("candidateName");
    const QString full = qtText(candidate.fallbackName());
    const QString shown = twoLines(full, name->font(), candidateTextWidth);
    name->setText(shown);
    if (shown != full) {
        name->setToolTip(full);
    }
    name->setAccessibleName(full);
    stack->addWidget(name);
    auto* evidence = Views::label(button, Tokens::labelFont(), Tone::secondary);
    evidence->setText(
        qtText(Strings::labEvidenceDetail(candidate.kind, candidate.occurrences, language)));
    stack->addWidget(evidence);
    button->makeChildrenTransparent();
    // A button takes the arrows to move focus; here they move the selection.
    button->installEventFilter(this);
    button->setSelected(lab_->selectedID() == candidate.id);
    connect(button, &RowButton::clicked, this,
            [this, candidate] { lab_->select(candidate, model_->language()); });
    rows_.push_back(button);
    return button;
}

void PromptLabView::refreshCandidates(Language language) {
    // Rebuilt whole when what they show changes (the rows hold no focus);
    // typing in the detail pane leaves them alone.
    std::string shown = std::to_string(static_cast<int>(language)) + '\n' +
                        lab_->selectedID().value_or(std::string()) + '\n';
    for (const PromptCandidate& candidate : lab_->candidates()) {
        shown += candidate.id + '\t' + candidate.fallbackName() + '\t' +
                 std::to_string(candidate.occurrences) +
                 (lab_->adoptedIDs().count(candidate.id) > 0 ? "+\n" : "\n");
    }
    if (shown == shownCandidates_) {
        return;
    }
    shownCandidates_ = std::move(shown);
    clear(listStack_);
    rows_.clear();
    for (const PromptCandidate& candidate : lab_->candidates()) {
        QWidget* row = makeCandidateRow(candidate, language);
        QWidget* divider = Views::divider(listColumn_);
        listStack_->addWidget(row);
        listStack_->addWidget(divider);
        row->show();
        divider->show();
    }
    listStack_->addStretch();
}

void PromptLabView::refreshUsage(Language language) {
    usageTitle_->setText(qtText(StringKey::labUsageTitle, language));
    const bool noTranscripts = !lab_->foundTranscripts();
    const bool noUsage = lab_->usage().empty();
    usageMessage_->setVisible(noTranscripts || noUsage);
    usageScroll_->setVisible(!noTranscripts && !noUsage);
    if (noTranscripts) {
        usageMessage_->setText(qtText(StringKey::labNoTranscripts, language));
        Tokens::setTone(usageMessage_, Tone::warning);
        return;
    }
    if (noUsage) {
        // Before the first scan ends there are no counts yet, which is not
        // the same as having no prompts.
        const bool counting =
            lab_->phase() != PromptLabModel::Phase::ready && !model_->config().rules.empty();
        usageMessage_->setText(
            qtText(counting ? StringKey::labScanning : StringKey::noPrompts, language));
        Tokens::setTone(usageMessage_, counting ? Tone::secondary : Tone::primary);
        return;
    }
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    QStringList entries;
    QStringList spoken;
    for (const RuleUsage& entry : lab_->usage()) {
        const std::string name =
            entry.name.empty() ? std::string(Strings::string(StringKey::untitledPrompt, language))
                               : entry.name;
        const QColor color = entry.count == 0 ? palette.warning : palette.primary;
        spoken << qtText(Strings::labUsageEntry(name, int(entry.count), language));
        entries << QStringLiteral("<span style=\"color:%1\">%2</span>")
                       .arg(color.name(), unbreakable(qtText(Strings::labUsageEntry(
                                                          name, int(entry.count), language)))
                                              .toHtmlEscaped());
    }
    // Lines break between entries only.
    usageList_->setText(entries.join(QStringLiteral("&nbsp;&nbsp;&nbsp; ")));
    usageList_->setAccessibleName(spoken.join(QStringLiteral(", ")));
    fitUsage();
}

void PromptLabView::fitUsage() {
    const QFontMetrics metrics(usageList_->font());
    // The footer spans the window less its padding.
    const int width = std::max(1, this->width() - 28);
    const int wanted = usageList_->heightForWidth(width);
    const int height = std::clamp(wanted, metrics.height(), metrics.lineSpacing() * 3 + 4);
    if (usageScroll_->minimumHeight() != height || usageScroll_->maximumHeight() != height) {
        usageScroll_->setFixedHeight(height);
    }
}

void PromptLabView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitUsage();
}

void PromptLabView::keyPressEvent(QKeyEvent* event) {
    if (!walkCandidates(event->key())) {
        QWidget::keyPressEvent(event);
    }
}

bool PromptLabView::eventFilter(QObject* watched, QEvent* event) {
    // The rows and the list's scroll area would take the arrows to move focus
    // or scroll: they choose the suggestion.
    if (event->type() == QEvent::KeyPress &&
        walkCandidates(static_cast<QKeyEvent*>(event)->key())) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool PromptLabView::walkCandidates(int key) {
    // Up and down walk the suggestions, unless a text field wants the keys.
    const bool up = key == Qt::Key_Up;
    const bool down = key == Qt::Key_Down;
    QWidget* focused = focusWidget();
    const bool typing = qobject_cast<QLineEdit*>(focused) != nullptr ||
                        qobject_cast<QPlainTextEdit*>(focused) != nullptr;
    if ((!up && !down) || typing || lab_->phase() != PromptLabModel::Phase::ready ||
        lab_->candidates().empty()) {
        return false;
    }
    const auto& candidates = lab_->candidates();
    std::size_t index = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (lab_->selectedID() == candidates[i].id) {
            index = i;
        }
    }
    if (up && index > 0) {
        --index;
    } else if (down && index + 1 < candidates.size()) {
        ++index;
    }
    const bool focusInList = focused != nullptr && listColumn_->isAncestorOf(focused);
    lab_->select(candidates[index], model_->language());
    refreshNow();
    if (RowButton* row = candidateRow(index)) {
        if (focusInList) {
            row->setFocus(Qt::TabFocusReason);
        }
        listScroll_->ensureWidgetVisible(row);
    }
    return true;
}

} // namespace tamsel
