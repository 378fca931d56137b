#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tamsel {

// The kinds of Prompt Lab suggestion; the declaration order is also the order
// in which suggestions are listed.
enum class CandidateKind : std::uint8_t { unfollowedConvention, convention, correction, repeated };

inline constexpr std::array<CandidateKind, 4> allCandidateKinds{
    CandidateKind::unfollowedConvention, CandidateKind::convention, CandidateKind::correction,
    CandidateKind::repeated};

constexpr std::string_view rawValue(CandidateKind kind) {
    switch (kind) {
    case CandidateKind::unfollowedConvention:
        return "unfollowedConvention";
    case CandidateKind::convention:
        return "convention";
    case CandidateKind::correction:
        return "correction";
    case CandidateKind::repeated:
        return "repeated";
    }
    return "repeated";
}

} // namespace tamsel
