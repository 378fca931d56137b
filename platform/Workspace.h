#pragma once

// The desktop around the program: which application is in front, opening
// addresses in the browser, and what the system says about itself.

#include <optional>
#include <string>
#include <vector>

namespace tamsel {

struct OperatingSystemVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    bool operator==(const OperatingSystemVersion&) const = default;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // The identifier targets are matched against: a bundle identifier on
    // macOS, the WM_CLASS class of the active window under X11.
    virtual std::optional<std::string> frontmostApplicationID() = 0;
    virtual void openURL(const std::string& url) = 0;
    // Where the user grants the keyboard permission, if the system has a page for it.
    virtual void openAccessibilitySettings() = 0;
    // Identifiers such as "ja-JP", most preferred first.
    virtual std::vector<std::string> preferredLanguages() = 0;
    virtual OperatingSystemVersion operatingSystemVersion() = 0;
};

} // namespace tamsel
