#pragma once

// Unicode helpers shared by the configuration, the analysis and the injector.
// Every text is UTF-8. Lengths, prefixes and cuts count user-perceived
// characters (extended grapheme clusters), as the user sees them on screen.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::TextToolkit {

// Unicode space separators (Zs) and the tab.
bool isWhitespace(char32_t c);
// Line feed, vertical tab, form feed, carriage return, next line, line and
// paragraph separators.
bool isNewline(char32_t c);
// The union of the two classes above.
bool isWhitespaceOrNewline(char32_t c);

// Trimming removes characters of the class from both ends.
std::string_view trimWhitespace(std::string_view text);
std::string_view trimWhitespaceAndNewlines(std::string_view text);
bool isBlank(std::string_view text); // empty after trimWhitespaceAndNewlines

// Cuts at every newline character (so "\r\n" gives an empty piece between
// the two); an empty text gives one empty piece.
std::vector<std::string_view> splitLines(std::string_view text);

// Decodes one code point at `offset` and advances it; malformed bytes decode
// as U+FFFD one byte at a time.
char32_t decodeAt(std::string_view text, std::size_t& offset);
void appendUtf8(std::string& out, char32_t c);

// Byte offsets of every grapheme-cluster boundary, starting with 0 and ending
// with text.size() (a single 0 for an empty text).
std::vector<std::size_t> graphemeBoundaries(std::string_view text);
std::size_t graphemeCount(std::string_view text);
// The cluster count, but stops counting past `limit` (giving limit + 1), so
// a length bound on a huge text costs only what the bound covers.
std::size_t graphemeCountUpTo(std::string_view text, std::size_t limit);
// The first `count` clusters (the whole text when it has fewer).
std::string_view graphemePrefix(std::string_view text, std::size_t count);
// The last `count` clusters (the whole text when it has fewer).
std::string_view graphemeSuffix(std::string_view text, std::size_t count);
// Consecutive pieces of `size` clusters each, the last holding the rest.
// An empty text gives no piece; a size below 1 gives the whole text.
std::vector<std::string_view> graphemeChunks(std::string_view text, std::ptrdiff_t size);
// Cluster-aware affix tests: the affix must cover whole clusters of the text.
bool hasGraphemePrefix(std::string_view text, std::string_view prefix);
bool hasGraphemeSuffix(std::string_view text, std::string_view suffix);

// Full Unicode lower-casing, independent of the user's locale.
std::string lowercased(std::string_view text);
// Compatibility composition (NFKC).
std::string nfkc(std::string_view text);

// A fresh random (version 4) UUID, upper-case and hyphenated: 36 characters.
std::string makeUuid();

} // namespace tamsel::TextToolkit
