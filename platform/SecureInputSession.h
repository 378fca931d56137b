#pragma once

// Secure keyboard entry: while some application holds it, no tap sees keys.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace tamsel {

// One value of the login session's dictionary, reduced to what we tell apart.
struct SessionValueOther {
    bool operator==(const SessionValueOther&) const = default;
};
using SessionValue = std::variant<std::int64_t, double, bool, std::string, SessionValueOther>;
using SessionDictionary = std::map<std::string, SessionValue, std::less<>>;

class SecureInputSession {
public:
    virtual ~SecureInputSession() = default;
    virtual bool isSecureEventInputEnabled() = 0;
    // No value when there is no session dictionary or its keys are not texts.
    virtual std::optional<SessionDictionary> currentSessionDictionary() = 0;
};

} // namespace tamsel
