#include "ui/PopoverView.h"

#include <QEvent>
#include <QVBoxLayout>

#include "ui/ModelObserver.h"
#include "ui/PromptListView.h"
#include "ui/SettingsView.h"
#include "ui/SetupView.h"
#include "ui/ViewSupport.h"

namespace tamsel {

PopoverView::PopoverView(std::shared_ptr<AppModel> model, QWidget* parent)
    : PopoverView(std::move(model), SettingsActions{}, Tokens::systemAppearance(), parent) {}

PopoverView::PopoverView(std::shared_ptr<AppModel> model, SettingsActions actions,
                         Appearance appearance, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), actions_(std::move(actions)) {
    setObjectName("popover");
    setFixedWidth(width);
    setFont(Tokens::bodyFont());
    Tokens::applyAppearance(this, appearance);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetNoConstraint);
    observer_ = new ModelObserver(
        *model_, [this] { refresh(); }, this);
    refresh();
}

PopoverView::~PopoverView() = default;

void PopoverView::setSettingsActions(SettingsActions actions) {
    actions_ = std::move(actions);
    if (auto* settings = dynamic_cast<SettingsView*>(pageView_)) {
        settings->setActions(actions_);
    }
}

void PopoverView::setAppearance(Appearance appearance) {
    Tokens::applyAppearance(this, appearance);
    // Pictures are drawn in the palette's colours: build the page afresh.
    delete pageView_;
    pageView_ = nullptr;
    refresh();
}

PopoverView::Page PopoverView::wantedPage() const {
    if (model_->showsSetupGuide()) {
        return Page::setup;
    }
    return model_->showsSettings() ? Page::settings : Page::list;
}

void PopoverView::refreshNow() {
    observer_->flush();
}

void PopoverView::setHeightLimit(int limit) {
    if (limit == heightLimit_) {
        return;
    }
    heightLimit_ = limit;
    refresh();
}

void PopoverView::refresh() {
    const Page wanted = wantedPage();
    if (pageView_ == nullptr || wanted != page_) {
        delete pageView_;
        switch (wanted) {
        case Page::list:
            pageView_ = new PromptListView(model_, this);
            break;
        case Page::settings:
            pageView_ = new SettingsView(model_, actions_, this);
            break;
        case Page::setup:
            pageView_ = new SetupView(model_, this);
            break;
        }
        page_ = wanted;
        layout()->addWidget(pageView_);
        pageView_->setHeightLimit(heightLimit_);
        pageView_->show();
    }
    pageView_->setHeightLimit(heightLimit_);
    pageView_->refresh();
    reportHeight();
}

bool PopoverView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // A page's size changes (fonts polished, an editor closed, a banner
    // gone) reach here as a layout request, often after the refresh that
    // caused them: report the new height then too, so that the window also
    // shrinks.
    if (event->type() == QEvent::LayoutRequest && pageView_ != nullptr) {
        reportHeight();
    }
    return handled;
}

void PopoverView::reportHeight() {
    const int height = preferredHeight();
    if (MeasuredHeight measured{reportedHeight_}; measured.update(height)) {
        reportedHeight_ = measured.value;
        emit preferredHeightChanged(height);
    }
}

int PopoverView::preferredHeight() {
    // Size changes inside the page reach this view's layout only on the next
    // turn of the event loop; the page's own layout knows them at once.
    return std::max(1, Views::layoutHeight(pageView_, width));
}

} // namespace tamsel
