#pragma once

// The configuration file's bytes: tolerant reading and the exact writer.

#include <optional>
#include <string>
#include <string_view>

#include "core/config/Config.h"

namespace tamsel::ConfigCodec {

struct DecodeResult {
    std::optional<Config> config; // absent when the file cannot be used at all
    std::string error;            // a message for the user when `config` is absent
};

// A bad or missing value takes its default silently. Reading fails as a whole
// only for data that is not JSON, a top level that is not an object, and a
// `rules` value that is not an array of objects: replacing the file then would
// lose the user's prompts.
DecodeResult decode(std::string_view bytes);

// Sorted keys, `"key" : value`, two-space indentation, raw UTF-8, "/" as it is,
// and one trailing line feed. The same configuration always gives the same bytes.
std::string encode(const Config& config);

// One JSON string in the file's own escaping: `"` and `\\`, the short forms
// of the common controls, \u00xx for the other C0 controls, nothing else.
void appendQuoted(std::string& out, std::string_view text);

} // namespace tamsel::ConfigCodec
