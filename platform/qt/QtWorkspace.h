#pragma once

// The desktop on Qt: addresses open in the user's browser; the frontmost
// application comes from whoever watches the window manager.

#include <functional>

#include "platform/Workspace.h"

namespace tamsel {

class QtWorkspace final : public Workspace {
public:
    explicit QtWorkspace(std::function<std::optional<std::string>()> frontmost)
        : frontmost_(std::move(frontmost)) {}

    std::optional<std::string> frontmostApplicationID() override { return frontmost_(); }
    void openURL(const std::string& url) override;
    // Linux desktops have no page for it: access depends on the display alone.
    void openAccessibilitySettings() override {}
    std::vector<std::string> preferredLanguages() override;
    OperatingSystemVersion operatingSystemVersion() override;

private:
    std::function<std::optional<std::string>()> frontmost_;
};

} // namespace tamsel
