#pragma once

// The accessibility setup guide: why the permission is needed, three steps,
// a button to the system settings, and whether access has arrived.

#include <memory>

#include "app/AppModel.h"
#include "ui/ViewSupport.h"

class QPushButton;
class QToolButton;

namespace tamsel {

class Spinner;

class SetupView final : public RefreshingView {
    Q_OBJECT
public:
    SetupView(std::shared_ptr<AppModel> model, QWidget* parent);
    void refresh() override;

private:
    std::shared_ptr<AppModel> model_;
    QLabel* title_;
    QLabel* why_;
    // Outside X11: which backend serves what here, and what does not work.
    QLabel* session_;
    QWidget* stepRows_[3];
    QLabel* steps_[3];
    QPushButton* open_;
    QWidget* waiting_;
    QLabel* waitingText_;
    QWidget* granted_;
    QLabel* grantedIcon_;
    QLabel* grantedText_;
    QToolButton* skip_;
    QLabel* icon_;
};

} // namespace tamsel
