#include "app/PromptLabWindowController.h"

#include <algorithm>

namespace tamsel {

PromptLabWindowController::PromptLabWindowController(std::shared_ptr<PromptLabWindowSystem> windows,
                                                     std::shared_ptr<PromptLabModel> labModel)
    : windows_(std::move(windows)), labModel_(std::move(labModel)) {}

WindowSize PromptLabWindowController::contentSize(const std::optional<WindowSize>& screen) {
    if (!screen) {
        return preferredContentSize;
    }
    constexpr double margin = 40;
    return {std::min(preferredContentSize.width, screen->width - margin),
            std::min(preferredContentSize.height, screen->height - margin)};
}

void PromptLabWindowController::show(AppModel& appModel) {
    if (window_) {
        windows_->activateApplication();
        window_->bringToFront();
        return;
    }
    PromptLabWindowSystem::WindowSpec spec{
        std::string(Strings::string(StringKey::labTitle, appModel.language())), minimumContentSize,
        contentSize(windows_->mainScreenVisibleSize())};
    std::weak_ptr<PromptLabWindowController> weakController = weak_from_this();
    window_ = windows_->createWindow(spec, appModel, *labModel_, [weakController] {
        if (auto strong = weakController.lock()) {
            strong->window_.reset();
        }
    });
    windows_->activateApplication();
}

} // namespace tamsel
