#pragma once

// The tray icon's right-click menu: open the popover, pause or resume, open
// the Prompt Lab, quit. Its texts follow the language and the switch each
// time it opens.

#include <functional>
#include <memory>

#include <QMenu>

#include "app/AppModel.h"

namespace tamsel {

class TrayMenu final : public QMenu {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> open;
        std::function<void()> quit;
    };

    TrayMenu(std::shared_ptr<AppModel> model, Actions actions, QWidget* parent = nullptr);

    // Re-reads the model; done before every opening.
    void refresh();

    QAction* openAction() const { return open_; }
    QAction* pauseAction() const { return pause_; }
    QAction* promptLabAction() const { return promptLab_; }
    QAction* quitAction() const { return quit_; }

private:
    std::shared_ptr<AppModel> model_;
    Actions actions_;
    QAction* open_;
    QAction* pause_;
    QAction* promptLab_;
    QAction* quit_;
};

} // namespace tamsel
