#pragma once

// Who holds secure keyboard entry, during which no shortcut can fire. Polled:
// each call reads the system afresh.

#include <optional>
#include <string>

#include "platform/ProcessNames.h"
#include "platform/RunningApplications.h"
#include "platform/SecureInputSession.h"

namespace tamsel {

struct SecureInputStatus {
    // The display name of the holder, when it can be found.
    std::optional<std::string> holderName;

    bool operator==(const SecureInputStatus&) const = default;
};

namespace SecureInputProbe {

struct Services {
    SecureInputSession& session;
    RunningApplications& applications;
    ProcessNames& processes;
};

// No value while secure input is off; on, a status with or without a name.
std::optional<SecureInputStatus> currentStatus(const Services& services);

// The holder's application name, else its process name; no value when the
// session does not say who holds it or the process cannot be named.
std::optional<std::string> holderName(const Services& services);

} // namespace SecureInputProbe

} // namespace tamsel
