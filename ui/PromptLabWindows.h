#pragma once

// The Prompt Lab's windows on Qt: a top-level window holding the Prompt Lab
// view over both models.

#include "app/PromptLabWindowController.h"

namespace tamsel {

class QtPromptLabWindowSystem final : public PromptLabWindowSystem {
public:
    std::optional<WindowSize> mainScreenVisibleSize() override;
    std::unique_ptr<Window> createWindow(const WindowSpec& spec, AppModel& appModel,
                                         PromptLabModel& labModel,
                                         std::function<void()> onClose) override;
    void activateApplication() override;
};

} // namespace tamsel
