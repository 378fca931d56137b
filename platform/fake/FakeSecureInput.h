#pragma once

// Scripted answers for the secure-input probe: the session's flag and
// dictionary, the running applications and the kernel's process names.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/ProcessNames.h"
#include "platform/RunningApplications.h"
#include "platform/SecureInputSession.h"

namespace tamsel {

class FakeSecureInputSession final : public SecureInputSession {
public:
    bool isSecureEventInputEnabled() override { return enabled; }
    std::optional<SessionDictionary> currentSessionDictionary() override { return dictionary; }

    bool enabled = false;
    std::optional<SessionDictionary> dictionary;
};

class FakeRunningApplications final : public RunningApplications {
public:
    std::optional<std::string> localizedName(std::int32_t processIdentifier) override {
        lookups[processIdentifier]++;
        auto found = names.find(processIdentifier);
        return found == names.end() ? std::nullopt : found->second;
    }

    // An entry without a name is an application that has none.
    std::map<std::int32_t, std::optional<std::string>> names;
    std::map<std::int32_t, int> lookups;
};

class FakeProcessNames final : public ProcessNames {
public:
    std::string processName(std::int32_t processIdentifier) override {
        lookups[processIdentifier]++;
        auto found = names.find(processIdentifier);
        return found == names.end() ? std::string() : found->second;
    }

    // What the kernel writes into the buffer, zero bytes and all.
    std::map<std::int32_t, std::string> names;
    std::map<std::int32_t, int> lookups;
};

} // namespace tamsel
