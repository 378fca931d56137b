#pragma once

// A desktop for tests: the frontmost application and the preferred languages
// are set by the test, and every address opened is recorded.

#include <string>
#include <vector>

#include "platform/Workspace.h"

namespace tamsel {

class FakeWorkspace final : public Workspace {
public:
    std::optional<std::string> frontmostApplicationID() override { return frontmost; }
    void openURL(const std::string& url) override { openedURLs.push_back(url); }
    void openAccessibilitySettings() override { ++accessibilitySettingsOpened; }
    std::vector<std::string> preferredLanguages() override { return languages; }
    OperatingSystemVersion operatingSystemVersion() override { return version; }

    std::optional<std::string> frontmost;
    std::vector<std::string> languages{"en-US"};
    OperatingSystemVersion version{6, 1, 0};
    std::vector<std::string> openedURLs;
    int accessibilitySettingsOpened = 0;
};

} // namespace tamsel
