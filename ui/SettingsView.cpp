#include "ui/SettingsView.h"

#include <algorithm>
#include <tuple>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/DraftingTexts.h"
#include "ui/FireCommandsView.h"
#include "ui/Icons.h"
#include "ui/SegmentedControl.h"

namespace tamsel {

namespace {

QToolButton* borderlessButton(QWidget* parent, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setProperty("borderless", true);
    button->setFont(Tokens::bodyFont());
    return button;
}

QPushButton* smallButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setFont(Tokens::labelFont());
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return button;
}

bool isSpaceOrTab(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

constexpr LanguagePreference languageChoices[] = {LanguagePreference::system,
                                                  LanguagePreference::en, LanguagePreference::ja};

} // namespace

std::vector<std::string> targetListFromText(const QString& text) {
    std::vector<std::string> list;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        qsizetype begin = 0;
        qsizetype end = line.size();
        while (begin < end && isSpaceOrTab(line[begin])) {
            ++begin;
        }
        while (end > begin && isSpaceOrTab(line[end - 1])) {
            --end;
        }
        if (begin < end) {
            list.push_back(stdText(line.mid(begin, end - begin)));
        }
    }
    return list;
}

SettingsView::SettingsView(std::shared_ptr<AppModel> model, SettingsActions actions,
                           QWidget* parent)
    : RefreshingView(parent), model_(std::move(model)), actions_(std::move(actions)) {
    setObjectName("settingsPage");
    launchAtLogin_ = actions_.launchAtLogin();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(12, 9, 12, 9);
    headerRow->setSpacing(6);
    back_ = borderlessButton(header, "back");
    back_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    back_->setIconSize(QSize(11, 11));
    back_->setFixedWidth(64);
    title_ = Views::label(header, Tokens::titleFont(), Tone::primary);
    title_->setAlignment(Qt::AlignCenter);
    headerRow->addWidget(back_);
    headerRow->addWidget(title_, 1);
    // Balances the back button, so that the title stays centred.
    headerRow->addSpacing(64);
    column->addWidget(header);
    column->addWidget(Views::divider(this));

    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFocusPolicy(Qt::NoFocus);
    content_ = buildContent();
    scroll_->setWidget(content_);
    Views::onLayoutRequest(content_, [this] { measureContent(false); });
    column->addWidget(scroll_);
    column->addWidget(Views::divider(this));

    auto* footer = new QWidget(this);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(12, 8, 12, 8);
    footerRow->setSpacing(8);
    setupGuide_ = borderlessButton(footer, "showSetupGuide");
    quit_ = borderlessButton(footer, "quitApp");
    footerRow->addWidget(setupGuide_);
    footerRow->addStretch();
    footerRow->addWidget(quit_);
    column->addWidget(footer);

    connect(back_, &QToolButton::clicked, this, [this] { model_->setShowsSettings(false); });
    connect(setupGuide_, &QToolButton::clicked, this, [this] {
        model_->setShowsSettings(false);
        model_->setShowsSetupGuide(true);
    });
    connect(quit_, &QToolButton::clicked, this, [this] { actions_.quit(); });
}

QWidget* SettingsView::section(QVBoxLayout* column, int spacing, QLabel** title) {
    auto* box = new QWidget(content_);
    auto* stack = new QVBoxLayout(box);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    if (title != nullptr) {
        *title = Views::label(box, Tokens::semibold(Tokens::labelFont()), Tone::primary);
        stack->addWidget(*title);
    }
    column->addWidget(box);
    return box;
}

QWidget* SettingsView::delayRow(QLabel** title, QSpinBox** stepper, int maximum) {
    auto* row = new QWidget(content_);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    *title = Views::label(row, Tokens::labelFont(), Tone::primary);
    (*title)->setFixedWidth(210);
    *stepper = new QSpinBox(row);
    (*stepper)->setRange(0, maximum);
    (*stepper)->setSingleStep(delayStep);
    (*stepper)->setFont(Tokens::shortcutFont());
    (*stepper)->setMinimumWidth(96);
    layout->addWidget(*title);
    layout->addWidget(*stepper);
    layout->addStretch();
    return row;
}

QWidget* SettingsView::buildContent() {
    content_ = new QWidget(scroll_);
    content_->setObjectName("scrollContent");
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(14);
    column->setSizeConstraint(QLayout::SetMinAndMaxSize);

    QWidget* box = section(column, 4, &injectionTitle_);
    injection_ = new SegmentedControl(2, box);
    injection_->setObjectName("injectionMethod");
    injectionNote_ = Views::label(box, Tokens::labelFont(), Tone::secondary, true);
    box->layout()->addWidget(injection_);
    box->layout()->addWidget(injectionNote_);
    connect(injection_, &SegmentedControl::activated, this, [this](int index) {
        const auto method = index == 1 ? InjectionMethod::type : InjectionMethod::paste;
        model_->mutate([method](Config& config) { config.injectionMethod = method; });
    });

    box = section(column, 6, nullptr);
    box->layout()->addWidget(delayRow(&preDelayTitle_, &preDelay_, int(Config::preDelayMax)));
    box->layout()->addWidget(delayRow(&postDelayTitle_, &postDelay_, int(Config::postDelayMax)));
    preDelay_->setObjectName("preDelay");
    postDelay_->setObjectName("postDelay");
    connect(preDelay_, &QSpinBox::valueChanged, this,
            [this](int value) { model_->mutate([value](Config& c) { c.preDelayMS = value; }); });
    connect(postDelay_, &QSpinBox::valueChanged, this,
            [this](int value) { model_->mutate([value](Config& c) { c.postDelayMS = value; }); });

    box = section(column, 4, &targetsTitle_);
    targets_ = new QPlainTextEdit(box);
    targets_->setObjectName("targetApps");
    targets_->setProperty("bordered", true);
    targets_->setFont(Tokens::promptFont());
    targets_->setFixedHeight(92);
    targets_->setTabChangesFocus(true);
    targetsHint_ = Views::label(box, Tokens::labelFont(), Tone::secondary, true);
    box->layout()->addWidget(targets_);
    box->layout()->addWidget(targetsHint_);
    connect(targets_, &QPlainTextEdit::textChanged, this, [this] {
        auto list = targetListFromText(targets_->toPlainText());
        model_->mutate([&list](Config& config) { config.targetBundleIDs = list; });
    });

    fireCommands_ = new FireCommandsView(model_, actions_, content_);
    column->addWidget(fireCommands_);

    box = section(column, 4, &languageTitle_);
    language_ = new SegmentedControl(3, box);
    language_->setObjectName("language");
    box->layout()->addWidget(language_);
    connect(language_, &SegmentedControl::activated, this, [this](int index) {
        model_->setLanguagePreference(languageChoices[std::clamp(index, 0, 2)]);
    });

    box = section(column, 4, nullptr);
    launchAtLoginBox_ = new QCheckBox(box);
    launchAtLoginBox_->setObjectName("launchAtLogin");
    launchAtLoginBox_->setFont(Tokens::bodyFont());
    loginError_ = Views::label(box, Tokens::labelFont(), Tone::warning, true);
    box->layout()->addWidget(launchAtLoginBox_);
    box->layout()->addWidget(loginError_);
    connect(launchAtLoginBox_, &QCheckBox::clicked, this,
            [this](bool on) { setLaunchAtLogin(on); });

    box = section(column, 6, nullptr);
    labOpen_ = smallButton(box, "labOpen");
    labNote_ = Views::label(box, Tokens::labelFont(), Tone::secondary, true);
    box->layout()->addWidget(labOpen_);
    box->layout()->addWidget(labNote_);
    modelServerTitle_ = Views::label(box, Tokens::labelFont(), Tone::secondary, true);
    modelServer_ = new QLineEdit(box);
    modelServer_->setObjectName("modelServer");
    modelServer_->setFont(Tokens::promptFont());
    modelServer_->setClearButtonEnabled(true);
    box->layout()->addWidget(modelServerTitle_);
    box->layout()->addWidget(modelServer_);
    // Saved when the field is left, not per keystroke: each new address is
    // looked up, and half an address is no server.
    connect(modelServer_, &QLineEdit::editingFinished, this, [this] {
        const std::string typed = stdText(modelServer_->text().trimmed());
        model_->mutate([&typed](Config& config) {
            config.modelServerURL = typed.empty() ? std::nullopt : std::optional(typed);
        });
    });
    connect(labOpen_, &QPushButton::clicked, this, [this] {
        model_->setShowsSettings(false);
        if (model_->onOpenPromptLab) {
            model_->onOpenPromptLab();
        }
    });

    box = section(column, 6, nullptr);
    contact_ = smallButton(box, "contactUs");
    contactNote_ = Views::label(box, Tokens::labelFont(), Tone::secondary, true);
    box->layout()->addWidget(contact_);
    box->layout()->addWidget(contactNote_);
    connect(contact_, &QPushButton::clicked, this, [this] { model_->openContactPage(); });

    auto* fileRow = new QWidget(content_);
    auto* fileLayout = new QHBoxLayout(fileRow);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->setSpacing(8);
    openConfig_ = smallButton(fileRow, "openConfigFile");
    revealConfig_ = smallButton(fileRow, "revealConfigFile");
    fileLayout->addWidget(openConfig_);
    fileLayout->addWidget(revealConfig_);
    fileLayout->addStretch();
    column->addWidget(fileRow);
    // A pending save is written first, so that the file shown is current.
    connect(openConfig_, &QPushButton::clicked, this, [this] {
        model_->flushPendingSave();
        actions_.openFile(model_->store()->fileURL());
    });
    connect(revealConfig_, &QPushButton::clicked, this, [this] {
        model_->flushPendingSave();
        actions_.revealFile(model_->store()->fileURL());
    });

    aboutSecureInput_ = Views::label(content_, Tokens::bodyFont(), Tone::secondary, true);
    column->addWidget(aboutSecureInput_);
    return content_;
}

void SettingsView::setLaunchAtLogin(bool on) {
    loginItemError_ = actions_.setLaunchAtLogin(on);
    // A refused change springs back to what the system really has.
    launchAtLogin_ = actions_.launchAtLogin();
    refresh();
}

void SettingsView::refresh() {
    const Language language = model_->language();
    const Config& config = model_->config();
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));

    back_->setText(qtText(StringKey::back, language));
    back_->setIcon(Icons::icon(Symbol::chevronLeft, 11, palette.primary));
    title_->setText(qtText(StringKey::settingsTitle, language));

    injectionTitle_->setText(qtText(StringKey::injectionMethod, language));
    injection_->setTexts(
        {qtText(StringKey::injectionPaste, language), qtText(StringKey::injectionType, language)});
    injection_->setAccessibleName(injectionTitle_->text());
    injection_->setCurrentIndex(config.injectionMethod == InjectionMethod::type ? 1 : 0);
    injectionNote_->setText(qtText(StringKey::injectionTypeNote, language));
    injectionNote_->setVisible(config.injectionMethod == InjectionMethod::type);

    const QString unit = QLatin1Char(' ') + qtText(StringKey::delayUnit, language);
    for (auto [title, stepper, key, value] :
         {std::tuple{preDelayTitle_, preDelay_, StringKey::preDelay, config.preDelayMS},
          std::tuple{postDelayTitle_, postDelay_, StringKey::postDelay, config.postDelayMS}}) {
        const QSignalBlocker blocker(stepper);
        title->setText(qtText(key, language));
        stepper->setAccessibleName(title->text());
        stepper->setSuffix(unit);
        stepper->setValue(int(value));
    }

    targetsTitle_->setText(qtText(StringKey::targetApps, language));
    targets_->setAccessibleName(targetsTitle_->text());
    targetsHint_->setText(qtText(StringKey::targetAppsHint, language));
    if (!didLoadTargets_) {
        // Only once: later refreshes must not overwrite what is being typed.
        didLoadTargets_ = true;
        QStringList lines;
        for (const std::string& id : config.targetBundleIDs) {
            lines << qtText(id);
        }
        const QSignalBlocker blocker(targets_);
        targets_->setPlainText(lines.join(QLatin1Char('\n')));
    }

    fireCommands_->refresh();

    languageTitle_->setText(qtText(StringKey::language, language));
    language_->setTexts({qtText(StringKey::languageSystem, language),
                         qtText(StringKey::languageEnglish, language),
                         qtText(StringKey::languageJapanese, language)});
    language_->setAccessibleName(languageTitle_->text());
    for (int i = 0; i < 3; ++i) {
        if (languageChoices[i] == config.language) {
            language_->setCurrentIndex(i);
        }
    }

    launchAtLoginBox_->setText(qtText(StringKey::launchAtLogin, language));
    launchAtLoginBox_->setChecked(launchAtLogin_);
    loginError_->setVisible(loginItemError_.has_value());
    loginError_->setText(loginItemError_ ? qtText(*loginItemError_) : QString());

    labOpen_->setText(qtText(StringKey::labOpen, language));
    labNote_->setText(qtText(StringKey::labPrivacyNote, language));
    modelServerTitle_->setText(qtText(DraftingTexts::serverAddressLabel(language)));
    modelServer_->setAccessibleName(modelServerTitle_->text());
    modelServer_->setPlaceholderText(qtText(DraftingTexts::serverAddressPlaceholder(language)));
    if (!modelServer_->hasFocus()) {
        modelServer_->setText(qtText(config.modelServerURL.value_or(std::string())));
    }
    contact_->setText(qtText(StringKey::contactUs, language));
    contactNote_->setText(qtText(StringKey::contactNote, language));
    openConfig_->setText(qtText(StringKey::openConfigFile, language));
    revealConfig_->setText(qtText(StringKey::revealConfigFile, language));
    aboutSecureInput_->setText(qtText(StringKey::aboutSecureInput, language));
    setupGuide_->setText(qtText(StringKey::showSetupGuide, language));
    quit_->setText(qtText(StringKey::quitApp, language));
    measureContent(true);
}

void SettingsView::measureContent(bool contentChanged) {
    if (contentChanged) {
        content_->layout()->invalidate();
    }
    content_->layout()->activate();
    contentHeight_.update(Views::layoutHeight(content_));
    const int height =
        Views::scrollHeight(this, scroll_, qRound(contentHeight_.value), maximumContentHeight);
    if (height != scroll_->minimumHeight() || height != scroll_->maximumHeight()) {
        scroll_->setFixedHeight(height);
    }
}

} // namespace tamsel
