#pragma once

// Field-by-field hashing for the value records.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace tamsel::Hashing {

inline void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template <typename Value> std::size_t hashOf(const Value& value) {
    if constexpr (requires { value.time_since_epoch(); }) {
        return std::hash<decltype(value.time_since_epoch().count())>{}(
            value.time_since_epoch().count());
    } else {
        return std::hash<Value>{}(value);
    }
}

// Adds each field in turn; an absent optional differs from every present one,
// and a list counts its length as well as its items.
template <typename... Fields> std::size_t fields(const Fields&... values);

template <typename Value> void add(std::size_t& seed, const Value& value) {
    combine(seed, hashOf(value));
}
template <typename Value> void add(std::size_t& seed, const std::optional<Value>& value) {
    if (value) {
        add(seed, *value);
        combine(seed, 1);
    } else {
        combine(seed, 0);
    }
}
template <typename Value> void add(std::size_t& seed, const std::vector<Value>& values) {
    for (const Value& value : values) {
        add(seed, value);
    }
    combine(seed, values.size());
}

template <typename... Fields> std::size_t fields(const Fields&... values) {
    std::size_t seed = 0;
    (add(seed, values), ...);
    return seed;
}

} // namespace tamsel::Hashing
