#include "engine/SecureInput.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/toolkit/TextToolkit.h"

namespace tamsel::SecureInputProbe {

namespace {
constexpr const char* holderKey = "kCGSSessionSecureInputPID";

// The kernel keeps only the first bytes of a name, which may end inside a
// character; what we show must still be text.
std::string repairedText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t offset = 0; offset < bytes.size();) {
        TextToolkit::appendUtf8(out, TextToolkit::decodeAt(bytes, offset));
    }
    return out;
}

} // namespace

std::optional<SecureInputStatus> currentStatus(const Services& services) {
    if (!services.session.isSecureEventInputEnabled()) {
        return std::nullopt;
    }
    return SecureInputStatus{holderName(services)};
}

std::optional<std::string> holderName(const Services& services) {
    const auto dictionary = services.session.currentSessionDictionary();
    if (!dictionary) {
        return std::nullopt;
    }
    const auto entry = dictionary->find(holderKey);
    if (entry == dictionary->end()) {
        return std::nullopt;
    }
    const auto* value = std::get_if<std::int64_t>(&entry->second);
    if (!value) {
        return std::nullopt;
    }
    // Anything else would name some other process after truncation.
    if (*value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    const auto processIdentifier = static_cast<std::int32_t>(*value);

    if (auto name = services.applications.localizedName(processIdentifier);
        name && !name->empty()) {
        return name;
    }
    // The buffer's text stops at its first zero byte.
    const std::string raw = services.processes.processName(processIdentifier);
    const std::string_view name =
        std::string_view(raw).substr(0, std::min(raw.find('\0'), ProcessNames::bufferSize));
    if (name.empty()) {
        return std::nullopt;
    }
    return repairedText(name);
}

} // namespace tamsel::SecureInputProbe
