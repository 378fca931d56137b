#include "ui/PopoverView.h"

namespace tamsel {

PopoverView::PopoverView(std::shared_ptr<AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
    setFixedWidth(width);
}

} // namespace tamsel
