#pragma once

// Finds where a text stops being JSON, so that a user who broke their file by
// hand is told the line and column of the mistake.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::JsonSyntax {

struct SyntaxError {
    std::size_t offset = 0; // byte offset of the first offending byte
    std::size_t line = 1;   // 1-based
    std::size_t column = 1; // 1-based, in code points
    std::string problem;    // e.g. "Unexpected character '}'"

    bool operator==(const SyntaxError&) const = default;
};

// No value when the text is one strict JSON value (RFC 8259), with optional
// white space around it. A \u escape of half a surrogate pair counts as an
// error, as it does for the parser.
std::optional<SyntaxError> firstError(std::string_view text);

struct Span {
    std::size_t offset = 0;
    std::size_t length = 0;
    bool operator==(const Span&) const = default;
};

// Where each number of a JSON text stands, in text order; empty when the text
// is not JSON.
std::vector<Span> numbers(std::string_view text);

} // namespace tamsel::JsonSyntax
