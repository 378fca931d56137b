#include "ui/TrayMenu.h"

#include "ui/ViewSupport.h"

namespace tamsel {

TrayMenu::TrayMenu(std::shared_ptr<AppModel> model, Actions actions, QWidget* parent)
    : QMenu(parent), model_(std::move(model)), actions_(std::move(actions)) {
    setObjectName("trayMenu");
    open_ = addAction(QString());
    pause_ = addAction(QString());
    promptLab_ = addAction(QString());
    addSeparator();
    quit_ = addAction(QString());
    connect(open_, &QAction::triggered, this, [this] {
        if (actions_.open) {
            actions_.open();
        }
    });
    connect(pause_, &QAction::triggered, this,
            [this] { model_->setEnabled(!model_->config().enabled); });
    connect(promptLab_, &QAction::triggered, this, [this] {
        if (model_->onOpenPromptLab) {
            model_->onOpenPromptLab();
        }
    });
    connect(quit_, &QAction::triggered, this, [this] {
        if (actions_.quit) {
            actions_.quit();
        }
    });
    connect(this, &QMenu::aboutToShow, this, &TrayMenu::refresh);
    refresh();
}

void TrayMenu::refresh() {
    const Language language = model_->language();
    open_->setText(qtText(StringKey::trayOpen, language));
    pause_->setText(
        qtText(model_->config().enabled ? StringKey::trayPause : StringKey::trayResume, language));
    promptLab_->setText(qtText(StringKey::labTitle, language));
    quit_->setText(qtText(StringKey::trayQuit, language));
}

} // namespace tamsel
