#pragma once

// Claude Code writes JSON that the strict parser turns down; this makes such
// lines readable without changing what a record takes from them.

#include <string>

namespace tamsel::LenientJson {

// The parser turns down two things that are valid JSON: an escaped lone
// surrogate (what a tool leaves after cutting an emoji in half) and numbers
// beyond 64 bits or the range of a double. Both are rewritten to a token of
// the same kind and length (U+FFFD, a zero), which changes nothing that a
// record takes; anything invalid stays invalid. Gives whether a byte changed.
bool relaxTokens(std::string& json);

} // namespace tamsel::LenientJson
