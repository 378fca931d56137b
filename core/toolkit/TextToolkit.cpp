#include "core/toolkit/TextToolkit.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

namespace tamsel::TextToolkit {

namespace {

bool isAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

template <typename Predicate> std::string_view trim(std::string_view text, Predicate inClass) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t next = start;
        if (!inClass(decodeAt(text, next))) {
            break;
        }
        start = next;
    }
    std::size_t end = text.size();
    while (end > start) {
        // Step back to the first byte of the last code point.
        std::size_t begin = end - 1;
        while (begin > start && (static_cast<unsigned char>(text[begin]) & 0xC0) == 0x80) {
            --begin;
        }
        std::size_t probe = begin;
        char32_t c = decodeAt(text, probe);
        if (probe != end || !inClass(c)) {
            break;
        }
        end = begin;
    }
    return text.substr(start, end - start);
}

// Creating a break iterator costs far more than using one, so each thread
// keeps its own.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

// Where every code point is its own cluster (break property Other or a
// control, as in nearly all Latin and CJK text), the boundaries follow from
// the code points alone and the break iterator is not needed. Calls
// visit(offset) at every boundary after 0 until it returns false; gives
// false, having stopped, when the text needs the full rules.
template <typename Visit> bool visitSimpleBoundaries(std::string_view text, Visit visit) {
    bool afterCR = false;
    std::size_t offset = 0;
    while (offset < text.size()) {
        std::size_t start = offset;
        char32_t c = decodeAt(text, offset);
        int kind = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
        if (c == 0xFFFD || (kind != U_GCB_OTHER && kind != U_GCB_CONTROL && kind != U_GCB_CR &&
                            kind != U_GCB_LF)) {
            return false;
        }
        if (start > 0 && !(afterCR && c == U'\n') && !visit(start)) {
            return true;
        }
        afterCR = c == U'\r';
    }
    if (!text.empty()) {
        visit(text.size());
    }
    return true;
}

bool isSimpleClusterKind(char32_t c) {
    int kind = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return kind == U_GCB_OTHER || kind == U_GCB_CONTROL || kind == U_GCB_CR || kind == U_GCB_LF;
}

// Whether `at` is a cluster boundary, answered from the two code points
// around it when both are of the plain kinds (no rule but CR LF joins
// those); the whole text is segmented only otherwise.
bool isBoundary(std::string_view text, std::size_t at) {
    if (at == 0 || at == text.size()) {
        return true;
    }
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
        std::size_t afterEnd = at;
        char32_t after = decodeAt(text, afterEnd);
        std::size_t beforeStart = at - 1;
        while (beforeStart > 0 && at - beforeStart < 4 &&
               (static_cast<unsigned char>(text[beforeStart]) & 0xC0) == 0x80) {
            --beforeStart;
        }
        std::size_t beforeEnd = beforeStart;
        char32_t before = decodeAt(text, beforeEnd);
        if (beforeEnd == at && before != 0xFFFD && after != 0xFFFD && isSimpleClusterKind(before) &&
            isSimpleClusterKind(after)) {
            return !(before == U'\r' && after == U'\n');
        }
    }
    auto boundaries = graphemeBoundaries(text);
    return std::binary_search(boundaries.begin(), boundaries.end(), at);
}

// Well-formed, and every code point outside ASCII passes the test; a U+FFFD
// counts as failing, so a malformed text always takes the full path.
template <typename Predicate> bool nonAsciiAll(std::string_view text, Predicate test) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        if (static_cast<unsigned char>(text[offset]) < 0x80) {
            ++offset;
            continue;
        }
        char32_t c = decodeAt(text, offset);
        if (c == 0xFFFD || !test(static_cast<UChar32>(c))) {
            return false;
        }
    }
    return true;
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace

bool isWhitespace(char32_t c) {
    if (c < 0x80) {
        return c == U' ' || c == U'\t'; // the only ASCII space separator is the space
    }
    return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

bool isNewline(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isWhitespaceOrNewline(char32_t c) {
    return isWhitespace(c) || isNewline(c);
}

std::string_view trimWhitespace(std::string_view text) {
    return trim(text, isWhitespace);
}

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
    return trim(text, isWhitespaceOrNewline);
}

bool isBlank(std::string_view text) {
    return trimWhitespaceAndNewlines(text).empty();
}

std::vector<std::string_view> splitLines(std::string_view text) {
    // Bytes that can start a newline: LF, VT, FF, CR, and the lead bytes of
    // NEL (C2 85) and U+2028/U+2029 (E2 80 A8/A9). Everything else is passed
    // over a byte at a time, which keeps long pasted logs cheap.
    static constexpr auto mayStartNewline = [] {
        std::array<bool, 256> table{};
        for (int b : {0x0A, 0x0B, 0x0C, 0x0D, 0xC2, 0xE2}) {
            table[static_cast<std::size_t>(b)] = true;
        }
        return table;
    }();
    std::vector<std::string_view> lines;
    std::size_t lineStart = 0;
    std::size_t offset = 0;
    while (offset < text.size()) {
        if (!mayStartNewline[static_cast<unsigned char>(text[offset])]) {
            ++offset;
            continue;
        }
        std::size_t charStart = offset;
        if (isNewline(decodeAt(text, offset))) {
            lines.push_back(text.substr(lineStart, charStart - lineStart));
            lineStart = offset;
        }
    }
    lines.push_back(text.substr(lineStart));
    return lines;
}

char32_t decodeAt(std::string_view text, std::size_t& offset) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(offset);
    if (lead < 0x80) {
        ++offset;
        return lead;
    }
    int extra = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++offset;
        return 0xFFFD;
    }
    if (offset + static_cast<std::size_t>(extra) >= text.size()) {
        ++offset;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        unsigned char next = byte(offset + i);
        if ((next & 0xC0) != 0x80) {
            ++offset;
            return 0xFFFD;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++offset;
        return 0xFFFD;
    }
    offset += extra + 1;
    return value;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::vector<std::size_t> graphemeBoundaries(std::string_view text) {
    std::vector<std::size_t> boundaries{0};
    if (text.empty()) {
        return boundaries;
    }
    if (isAscii(text)) {
        // In ASCII only CR LF forms a cluster of more than one character.
        for (std::size_t i = 1; i <= text.size(); ++i) {
            if (i < text.size() && text[i - 1] == '\r' && text[i] == '\n') {
                continue;
            }
            boundaries.push_back(i);
        }
        return boundaries;
    }
    if (visitSimpleBoundaries(text, [&](std::size_t at) {
            boundaries.push_back(at);
            return true;
        })) {
        return boundaries;
    }
    boundaries.resize(1);
    icu::BreakIterator* iterator = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (iterator == nullptr || U_FAILURE(status)) {
        utext_close(utext);
        boundaries.push_back(text.size());
        return boundaries;
    }
    iterator->setText(utext, status);
    for (int32_t at = iterator->next(); at != icu::BreakIterator::DONE; at = iterator->next()) {
        boundaries.push_back(static_cast<std::size_t>(at));
    }
    // Leave the iterator pointing at nothing before the text goes away.
    iterator->setText(icu::UnicodeString());
    utext_close(utext);
    if (boundaries.back() != text.size()) {
        boundaries.push_back(text.size());
    }
    return boundaries;
}

std::size_t graphemeCount(std::string_view text) {
    return graphemeBoundaries(text).size() - 1;
}

std::size_t graphemeCountUpTo(std::string_view text, std::size_t limit) {
    std::size_t count = 0;
    if (visitSimpleBoundaries(text, [&](std::size_t) { return ++count <= limit; })) {
        return count;
    }
    icu::BreakIterator* iterator = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (iterator == nullptr || U_FAILURE(status)) {
        utext_close(utext);
        return std::min(graphemeCount(text), limit + 1);
    }
    iterator->setText(utext, status);
    count = 0;
    while (count <= limit && iterator->next() != icu::BreakIterator::DONE) {
        ++count;
    }
    iterator->setText(icu::UnicodeString());
    utext_close(utext);
    return count;
}

std::string_view graphemePrefix(std::string_view text, std::size_t count) {
    auto boundaries = graphemeBoundaries(text);
    if (count + 1 >= boundaries.size()) {
        return text;
    }
    return text.substr(0, boundaries[count]);
}

std::string_view graphemeSuffix(std::string_view text, std::size_t count) {
    auto boundaries = graphemeBoundaries(text);
    if (count + 1 >= boundaries.size()) {
        return text;
    }
    return text.substr(boundaries[boundaries.size() - 1 - count]);
}

std::vector<std::string_view> graphemeChunks(std::string_view text, std::ptrdiff_t size) {
    if (text.empty()) {
        return {};
    }
    if (size < 1) {
        return {text};
    }
    auto boundaries = graphemeBoundaries(text);
    std::vector<std::string_view> chunks;
    const auto step = static_cast<std::size_t>(size);
    for (std::size_t i = 0; i + 1 < boundaries.size(); i += step) {
        std::size_t last = std::min(i + step, boundaries.size() - 1);
        chunks.push_back(text.substr(boundaries[i], boundaries[last] - boundaries[i]));
    }
    return chunks;
}

bool hasGraphemePrefix(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix)) {
        return false;
    }
    return isBoundary(text, prefix.size());
}

bool hasGraphemeSuffix(std::string_view text, std::string_view suffix) {
    if (!text.ends_with(suffix)) {
        return false;
    }
    return isBoundary(text, text.size() - suffix.size());
}

std::string lowercased(std::string_view text) {
    // Kana, kanji and other caseless text lower-case like ASCII: only the
    // ASCII letters change.
    if (nonAsciiAll(text, [](UChar32 c) {
            return !u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_LOWERCASED);
        })) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return out;
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    return toUtf8(unicode.toLower(icu::Locale::getRoot()));
}

std::string nfkc(std::string_view text) {
    if (isAscii(text)) {
        return std::string(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFKCInstance(status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    // Most text is already in the form; checking that needs no conversion.
    if (nonAsciiAll(text, [](UChar32) { return true; }) &&
        normalizer->isNormalizedUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), status) &&
        U_SUCCESS(status)) {
        return std::string(text);
    }
    status = U_ZERO_ERROR;
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    icu::UnicodeString normalized = normalizer->normalize(unicode, status);
    return U_SUCCESS(status) ? toUtf8(normalized) : std::string(text);
}

std::string makeUuid() {
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    unsigned char bytes[16];
    for (int i = 0; i < 16; i += 8) {
        std::uint64_t value = generator();
        for (int j = 0; j < 8; ++j) {
            bytes[i + j] = static_cast<unsigned char>(value >> (8 * j));
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out += '-';
        }
        out += hex[bytes[i] >> 4];
        out += hex[bytes[i] & 0x0F];
    }
    return out;
}

} // namespace tamsel::TextToolkit
