#include "ui/SetupView.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/Icons.h"
#include "ui/Spinner.h"

namespace tamsel {

SetupView::SetupView(std::shared_ptr<AppModel> model, QWidget* parent)
    : RefreshingView(parent), model_(std::move(model)) {
    setObjectName("setupPage");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);

    auto* titleRow = new QHBoxLayout();
    titleRow->setSpacing(8);
    icon_ = new QLabel(this);
    title_ = Views::label(this, Tokens::titleFont(), Tone::primary, true);
    titleRow->addWidget(icon_, 0, Qt::AlignTop);
    titleRow->addWidget(title_, 1);
    column->addLayout(titleRow);

    why_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    column->addWidget(why_);
    session_ = Views::label(this, Tokens::labelFont(), Tone::secondary, true);
    session_->setObjectName("setupSession");
    column->addWidget(session_);

    auto* steps = new QVBoxLayout();
    steps->setSpacing(6);
    for (int i = 0; i < 3; ++i) {
        stepRows_[i] = new QWidget(this);
        auto* row = new QHBoxLayout(stepRows_[i]);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(7);
        auto* number = Views::label(stepRows_[i], Tokens::shortcutFont(), Tone::secondary);
        number->setText(QString::number(i + 1));
        number->setFixedWidth(14);
        number->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // The step texts sit on the numbers' baseline; both fonts are near
        // enough in size that a small offset lines them up.
        number->setContentsMargins(0, 1, 0, 0);
        steps_[i] = Views::label(stepRows_[i], Tokens::bodyFont(), Tone::primary, true);
        row->addWidget(number, 0, Qt::AlignTop);
        row->addWidget(steps_[i], 1);
        steps->addWidget(stepRows_[i]);
    }
    column->addLayout(steps);

    auto* actions = new QHBoxLayout();
    actions->setSpacing(8);
    open_ = new QPushButton(this);
    open_->setObjectName("setupOpenButton");
    open_->setFont(Tokens::bodyFont());
    open_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    open_->setDefault(true);
    actions->addWidget(open_);

    waiting_ = new QWidget(this);
    auto* waitingRow = new QHBoxLayout(waiting_);
    waitingRow->setContentsMargins(0, 0, 0, 0);
    waitingRow->setSpacing(5);
    waitingRow->addWidget(new Spinner(12, waiting_));
    // The status gives way to the buttons, wrapping when the row is short.
    waitingText_ = Views::label(waiting_, Tokens::labelFont(), Tone::secondary, true);
    waitingRow->addWidget(waitingText_, 1);
    actions->addWidget(waiting_, 1);

    granted_ = new QWidget(this);
    auto* grantedRow = new QHBoxLayout(granted_);
    grantedRow->setContentsMargins(0, 0, 0, 0);
    grantedRow->setSpacing(4);
    grantedIcon_ = new QLabel(granted_);
    grantedText_ = Views::label(granted_, Tokens::labelFont(), Tone::secondary, true);
    grantedText_->setObjectName("setupGranted");
    grantedRow->addWidget(grantedIcon_);
    grantedRow->addWidget(grantedText_, 1);
    actions->addWidget(granted_, 1);

    skip_ = new QToolButton(this);
    skip_->setObjectName("setupSkip");
    skip_->setProperty("borderless", true);
    skip_->setFont(Tokens::labelFont());
    skip_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actions->addWidget(skip_);
    column->addLayout(actions);

    connect(open_, &QPushButton::clicked, this, [this] { model_->openAccessibilitySettings(); });
    connect(skip_, &QToolButton::clicked, this, [this] { model_->setShowsSetupGuide(false); });
    // The open button is the page's default: Return presses it. With access
    // granted there is nothing to open, and Return closes the guide.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            QAbstractButton* button =
                model_->accessibilityGranted() ? static_cast<QAbstractButton*>(skip_) : open_;
            button->click();
        });
    }
}

void SetupView::refresh() {
    const Language language = model_->language();
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    icon_->setPixmap(Icons::pixmap(Symbol::lockShield, 16, palette.secondary));
    // Once access is there, the guide says so instead of asking for it: no
    // steps, nothing to open, and the way out is "Done".
    const bool granted = model_->accessibilityGranted();
    title_->setText(qtText(granted ? StringKey::setupReadyTitle : StringKey::setupTitle, language));
    why_->setText(qtText(granted ? StringKey::setupReadyWhy : StringKey::setupWhy, language));
    // The desktop's own answer (a refused consent, no portal) says more.
    if (const auto& problem = model_->sessionProblem(); problem && !granted) {
        why_->setText(qtText(*problem));
    }
    QStringList session;
    if (const auto& plan = model_->sessionPlan(); plan && plan->kind != SessionKind::x11) {
        session << qtText(SessionTexts::summary(*plan, language));
        for (const std::string& limit : SessionTexts::limits(*plan, language)) {
            session << QStringLiteral("• ") + qtText(limit);
        }
    }
    session_->setText(session.join('\n'));
    session_->setVisible(!session.isEmpty());
    const StringKey stepKeys[] = {StringKey::setupStep1, StringKey::setupStep2,
                                  StringKey::setupStep3};
    for (int i = 0; i < 3; ++i) {
        steps_[i]->setText(qtText(stepKeys[i], language));
        stepRows_[i]->setVisible(!granted);
    }
    open_->setText(qtText(StringKey::setupOpenButton, language));
    open_->setVisible(!granted);
    waiting_->setVisible(!granted);
    granted_->setVisible(granted);
    waitingText_->setText(qtText(StringKey::setupWaiting, language));
    grantedIcon_->setPixmap(Icons::pixmap(Symbol::checkmarkCircle, 12, palette.secondary));
    grantedText_->setText(qtText(StringKey::setupGranted, language));
    skip_->setText(qtText(granted ? StringKey::setupDone : StringKey::setupSkip, language));
}

} // namespace tamsel
