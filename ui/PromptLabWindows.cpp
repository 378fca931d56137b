#include "ui/PromptLabWindows.h"

namespace tamsel {

std::optional<WindowSize> QtPromptLabWindowSystem::mainScreenVisibleSize() { return std::nullopt; }

std::unique_ptr<PromptLabWindowSystem::Window>
QtPromptLabWindowSystem::createWindow(const WindowSpec&, AppModel&, PromptLabModel&,
                                      std::function<void()>) {
    return nullptr;
}

void QtPromptLabWindowSystem::activateApplication() {}

} // namespace tamsel
