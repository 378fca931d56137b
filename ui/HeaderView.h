#pragma once

// The popover's top line: running state, the last prompt fired, and the
// master switch.

#include <memory>

#include "app/AppModel.h"
#include "ui/ViewSupport.h"

namespace tamsel {

class ElidedLabel;
class SwitchButton;

class HeaderView final : public RefreshingView {
    Q_OBJECT
public:
    HeaderView(std::shared_ptr<AppModel> model, QWidget* parent);
    void refresh() override;

private:
    std::shared_ptr<AppModel> model_;
    QLabel* dot_;
    QLabel* state_;
    ElidedLabel* lastFired_;
    SwitchButton* enabled_;
};

} // namespace tamsel
