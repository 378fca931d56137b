#pragma once

// The text transformations that typing, and pasting into terminals that
// refuse control characters, need.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::InjectionText {

// Every CR LF pair, then every remaining LF, then every remaining CR becomes
// one space: a typed line break would send the message early.
std::string flattenForTyping(std::string_view text);

// flattenForTyping, then every other C0 control character (tab, escape...)
// becomes a space as well.
std::string withoutControlCharacters(std::string_view text);

// Pieces of `size` user-perceived characters, never splitting one; the last
// holds the rest. An empty text gives no piece, a size below 1 the whole text.
std::vector<std::string> chunks(std::string_view text, std::ptrdiff_t size);

} // namespace tamsel::InjectionText
