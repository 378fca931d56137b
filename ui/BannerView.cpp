#include "ui/BannerView.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/Icons.h"

namespace tamsel {

BannerView::BannerView(std::shared_ptr<AppModel> model, QWidget* parent)
    : RefreshingView(parent), model_(std::move(model)) {
    stack_ = new QVBoxLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->setSpacing(0);
}

std::vector<BannerView::Banner> BannerView::banners() const {
    const Language language = model_->language();
    std::vector<Banner> list;
    const auto warning = [&list](QString title, QString detail, void (AppModel::*dismiss)()) {
        Banner banner;
        banner.title = std::move(title);
        banner.detail = std::move(detail);
        banner.dismiss = dismiss;
        list.push_back(std::move(banner));
        return &list.back();
    };
    if (const auto& secure = model_->secureInput()) {
        std::optional<std::string_view> holder;
        if (secure->holderName) {
            holder = *secure->holderName;
        }
        warning(qtText(StringKey::secureInputTitle, language),
                qtText(Strings::secureInputDetail(holder, language)), nullptr);
    }
    if (const std::vector<std::string> limits = model_->sessionLimits(); !limits.empty()) {
        QStringList rest;
        for (auto limit = limits.begin() + 1; limit != limits.end(); ++limit) {
            rest << qtText(*limit);
        }
        warning(qtText(limits.front()), rest.join('\n'), nullptr);
    }
    if (const auto& problem = model_->sessionProblem()) {
        warning(qtText(*problem), QString(), nullptr);
    }
    if (auto unavailable = model_->unavailableHotkeysMessage()) {
        warning(qtText(*unavailable), QString(), nullptr);
    }
    if (auto assigned = model_->desktopTriggersMessage()) {
        warning(qtText(*assigned), QString(), nullptr)->isWarning = false;
    }
    if (const auto& error = model_->loadError()) {
        // After a reload the prompts in use stay; only at the start does
        // Tamsel fall back to its defaults.
        const StringKey body = model_->loadErrorKeptConfig() ? StringKey::configErrorKeptPrompts
                                                             : StringKey::configErrorBody;
        warning(qtText(StringKey::configErrorTitle, language),
                qtText(body, language) + '\n' +
                    qtText(Strings::configErrorDetail(*error, language)),
                &AppModel::dismissLoadError);
    }
    if (const auto& error = model_->saveError()) {
        warning(qtText(StringKey::saveErrorTitle, language), qtText(*error),
                &AppModel::dismissSaveError);
    }
    if (const auto& notice = model_->notice()) {
        warning(qtText(*notice), QString(), &AppModel::dismissNotice)->isWarning = false;
    }
    if (const auto& deleted = model_->recentlyDeleted()) {
        const std::string name =
            deleted->rule.name.empty()
                ? std::string(Strings::string(StringKey::untitledPrompt, language))
                : deleted->rule.name;
        Banner* undo = warning(qtText(Strings::deletedPrompt(name, language)), QString(),
                               &AppModel::dismissUndo);
        undo->isWarning = false;
        undo->actionText = qtText(StringKey::undo, language);
        undo->action = &AppModel::undoDelete;
    }
    return list;
}

void BannerView::refresh() {
    std::vector<Banner> wanted = banners();
    if (built_ && wanted == shown_) {
        return;
    }
    built_ = true;
    while (QLayoutItem* item = stack_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const Banner& banner : wanted) {
        QWidget* box = makeBanner(banner);
        stack_->addWidget(box);
        box->show();
    }
    shown_ = std::move(wanted);
    setVisible(!shown_.empty());
}

QWidget* BannerView::makeBanner(const Banner& banner) {
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    auto* box = new QWidget(this);
    box->setObjectName("banner");
    box->setProperty("surface", "control");
    box->setAttribute(Qt::WA_StyledBackground);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(8);

    auto* icon = new QLabel(box);
    icon->setPixmap(banner.isWarning ? Icons::pixmap(Symbol::warning, 14, palette.warning)
                                     : Icons::pixmap(Symbol::info, 14, palette.secondary));
    icon->setAlignment(Qt::AlignTop);
    row->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout();
    texts->setSpacing(2);
    auto* title = Views::label(box, Tokens::semibold(Tokens::labelFont()), Tone::primary, true);
    title->setObjectName("bannerTitle");
    title->setText(banner.title);
    texts->addWidget(title);
    if (!banner.detail.isEmpty()) {
        auto* detail = Views::label(box, Tokens::labelFont(), Tone::secondary, true);
        detail->setObjectName("bannerDetail");
        detail->setText(banner.detail);
        texts->addWidget(detail);
    }
    row->addLayout(texts, 1);
    row->addSpacing(4);

    if (banner.action != nullptr) {
        auto* act = new QToolButton(box);
        act->setObjectName("bannerAction");
        act->setProperty("borderless", true);
        act->setFont(Tokens::semibold(Tokens::labelFont()));
        act->setText(banner.actionText);
        connect(act, &QToolButton::clicked, this,
                [model = model_, action = banner.action] { ((*model).*action)(); });
        row->addWidget(act, 0, Qt::AlignTop);
    }

    if (banner.dismiss != nullptr) {
        auto* close = new QToolButton(box);
        close->setObjectName("dismissBanner");
        close->setProperty("borderless", true);
        close->setIcon(Icons::icon(Symbol::xmark, 10, palette.secondary));
        close->setIconSize(QSize(10, 10));
        close->setAccessibleName(qtText(StringKey::dismiss, model_->language()));
        close->setToolTip(close->accessibleName());
        connect(close, &QToolButton::clicked, this,
                [model = model_, dismiss = banner.dismiss] { ((*model).*dismiss)(); });
        row->addWidget(close, 0, Qt::AlignTop);
    }
    return box;
}

} // namespace tamsel
