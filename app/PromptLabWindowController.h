#pragma once

// Opens the Prompt Lab in a window of its own, one at a time, over a Prompt
// Lab model that lives as long as the controller: results, the selection and
// the drafts survive closing and reopening the window.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/AppModel.h"
#include "app/PromptLabModel.h"

namespace tamsel {

struct WindowSize {
    double width = 0;
    double height = 0;
    bool operator==(const WindowSize&) const = default;
};

// The toolkit side: makes the window with the Prompt Lab view in it.
class PromptLabWindowSystem {
public:
    struct WindowSpec {
        std::string title;
        WindowSize minimumContentSize;
        WindowSize contentSize;
        bool operator==(const WindowSpec&) const = default;
    };

    // A shown window; destroying the handle does not close it.
    class Window {
    public:
        virtual ~Window() = default;
        virtual void bringToFront() = 0;
    };

    virtual ~PromptLabWindowSystem() = default;
    // The visible area of the main screen, when there is one.
    virtual std::optional<WindowSize> mainScreenVisibleSize() = 0;
    // Titled, closable, minimisable and resizable, centred, shown in front.
    // `onClose` runs on the main thread when the user closes it.
    virtual std::unique_ptr<Window> createWindow(const WindowSpec& spec, AppModel& appModel,
                                                 PromptLabModel& labModel,
                                                 std::function<void()> onClose) = 0;
    virtual void activateApplication() = 0;
};

class PromptLabWindowController : public std::enable_shared_from_this<PromptLabWindowController> {
public:
    static constexpr WindowSize minimumContentSize{640, 420};
    static constexpr WindowSize preferredContentSize{820, 560};

    PromptLabWindowController(std::shared_ptr<PromptLabWindowSystem> windows,
                              std::shared_ptr<PromptLabModel> labModel);

    // Creates the window on first use; afterwards only brings it to the front.
    // The first scan is the view's to start, not the window's.
    void show(AppModel& appModel);
    bool hasWindow() const { return window_ != nullptr; }
    const std::shared_ptr<PromptLabModel>& labModel() const { return labModel_; }

    // The preferred size, shrunk to leave 40 points of the screen free.
    static WindowSize contentSize(const std::optional<WindowSize>& screen);

private:
    std::shared_ptr<PromptLabWindowSystem> windows_;
    std::shared_ptr<PromptLabModel> labModel_;
    std::unique_ptr<PromptLabWindowSystem::Window> window_;
};

} // namespace tamsel
