#pragma once

// The applications of the user's session, as the workspace knows them.

#include <cstdint>
#include <optional>
#include <string>

namespace tamsel {

class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    // No value when no application runs with that process identifier, or it
    // has no display name.
    virtual std::optional<std::string> localizedName(std::int32_t processIdentifier) = 0;
};

} // namespace tamsel
