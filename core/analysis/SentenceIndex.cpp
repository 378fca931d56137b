#include "core/analysis/SentenceIndex.h"

#include <algorithm>
#include <array>
#include <memory>

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include "core/toolkit/TextToolkit.h"

namespace tamsel::SentenceIndex {

namespace tt = TextToolkit;

namespace {

// The grapheme clusters of a text. Most lines of pasted logs and code are
// ASCII without a CR LF pair, where every byte is a cluster; those skip the
// break iterator and its allocation.
class Clusters {
public:
    explicit Clusters(std::string_view text) : text_(text), simple_(isSimple(text)) {
        if (!simple_) {
            boundaries_ = tt::graphemeBoundaries(text);
        }
    }
    std::size_t count() const { return simple_ ? text_.size() : boundaries_.size() - 1; }
    // Byte offset of boundary i, 0 <= i <= count().
    std::size_t boundary(std::size_t i) const { return simple_ ? i : boundaries_[i]; }
    std::string_view at(std::size_t i) const {
        return text_.substr(boundary(i), boundary(i + 1) - boundary(i));
    }

private:
    static bool isSimple(std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (c >= 0x80 || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
                return false;
            }
        }
        return true;
    }

    std::string_view text_;
    bool simple_;
    std::vector<std::size_t> boundaries_;
};

bool isOneOf(std::string_view cluster, std::initializer_list<std::string_view> set) {
    return std::find(set.begin(), set.end(), cluster) != set.end();
}

bool hasAnyPrefix(std::string_view text, std::initializer_list<std::string_view> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view p) { return tt::hasGraphemePrefix(text, p); });
}

bool containsAny(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view w) { return text.find(w) != std::string_view::npos; });
}

// Drops trailing clusters that belong to the set (of single clusters).
std::string_view dropTrailing(std::string_view text, std::initializer_list<std::string_view> set) {
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (std::string_view cluster : set) {
            if (!text.empty() && tt::hasGraphemeSuffix(text, cluster)) {
                text.remove_suffix(cluster.size());
                dropped = true;
                break;
            }
        }
    }
    return text;
}

// Building a matcher compiles the pattern, so each thread keeps one.
icu::RegexMatcher* numberMarkerMatcher() {
    thread_local std::unique_ptr<icu::RegexMatcher> matcher = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto created =
            std::make_unique<icu::RegexMatcher>(icu::UnicodeString(u"^\\d+[.)]\\s+"), 0, status);
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return matcher.get();
}

// Byte length of the numbered-item marker at the start of `text`, 0 if none.
std::size_t numberMarkerLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    unsigned char first = static_cast<unsigned char>(text[0]);
    // Only a decimal digit can start the marker; ASCII non-digits are the common case.
    if (first < 0x80 && (first < '0' || first > '9')) {
        return 0;
    }
    icu::RegexMatcher* matcher = numberMarkerMatcher();
    if (matcher == nullptr) {
        return 0;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    std::size_t length = 0;
    if (U_SUCCESS(status)) {
        matcher->reset(utext);
        if (matcher->lookingAt(status) && U_SUCCESS(status)) {
            // Native indexes of a UTF-8 UText are byte offsets.
            int64_t end = matcher->end64(status);
            if (U_SUCCESS(status) && end > 0) {
                length = static_cast<std::size_t>(end);
            }
        }
        matcher->reset(icu::UnicodeString());
    }
    utext_close(utext);
    return std::min(length, text.size());
}

struct PoliteEnding {
    std::string_view ending;
    std::string_view replacement;
    std::size_t length; // in clusters; every ending is plain kana or kanji
};

constexpr std::array<PoliteEnding, 14> politeEndings{{
    {"してください", "する", 6},
    {"して下さい", "する", 5},
    {"してほしい", "する", 5},
    {"して欲しい", "する", 5},
    {"しないでください", "しない", 8},
    {"しないで下さい", "しない", 7},
    {"ください", "", 4},
    {"下さい", "", 3},
    {"しなさい", "する", 4},
    {"すること", "する", 4},
    {"しないこと", "しない", 5},
    {"してね", "する", 3},
    {"してよ", "する", 3},
    {"こと", "", 2},
}};

} // namespace

namespace {

// The sentences of the text's lines, skipping (without changing the result
// otherwise) the lines for which `mayKeep` is false.
template <typename LineTest, typename SentenceTest>
std::vector<std::string> collectSentences(std::string_view text, LineTest mayKeep,
                                          SentenceTest keep) {
    std::vector<std::string> result;
    bool inCode = false;
    for (std::string_view line : tt::splitLines(text)) {
        std::string_view t = tt::trimWhitespace(line);
        if (tt::hasGraphemePrefix(t, "```") || tt::hasGraphemePrefix(t, "~~~")) {
            inCode = !inCode;
            continue;
        }
        if (inCode || t.empty() || !mayKeep(t) || isNoise(t)) {
            continue;
        }
        for (const std::string& piece : splitIntoSentences(strippingListMarker(t))) {
            std::string_view trimmed = tt::trimWhitespace(piece);
            std::size_t length = tt::graphemeCountUpTo(trimmed, maximumSentenceLength);
            if (length >= minimumSentenceLength && length <= maximumSentenceLength &&
                keep(trimmed)) {
                result.emplace_back(trimmed);
            }
        }
    }
    return result;
}

constexpr std::string_view englishMarkers[] = {
    "must ",   "don't ",  "do not ", "never ", "always ", "make sure", "please ",
    "should ", "ensure ", "avoid ",  "keep ",  "use ",    "stop "};

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view lower) {
    for (std::size_t i = 0; i < lower.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != lower[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::string> sentences(std::string_view text) {
    auto any = [](std::string_view) { return true; };
    return collectSentences(text, any, any);
}

bool mayHoldInstruction(std::string_view line) {
    // Japanese endings and words are never ASCII, so only a line of ASCII
    // can be ruled out: it would need an English marker, and every marker
    // holds a space at a known place.
    for (char c : line) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    for (std::size_t space = line.find(' '); space != std::string_view::npos;
         space = line.find(' ', space + 1)) {
        for (std::string_view marker : englishMarkers) {
            std::size_t offset = marker.find(' ');
            if (space >= offset && line.size() - (space - offset) >= marker.size() &&
                equalsIgnoringAsciiCase(line.substr(space - offset), marker)) {
                return true;
            }
        }
    }
    return false;
}

std::vector<std::string> instructions(std::string_view text) {
    return collectSentences(text, mayHoldInstruction,
                            [](std::string_view s) { return isInstruction(s); });
}

bool isNoise(std::string_view t) {
    if (hasAnyPrefix(t, {">", "|", "http://", "https://"})) {
        return true;
    }
    if (tt::hasGraphemePrefix(t, "#") && t.find(' ') == std::string_view::npos) {
        return true;
    }
    static constexpr std::string_view codeSymbols = "{}[]()<>;=/\\|`";
    Clusters clusters(t);
    std::size_t symbols = 0;
    for (std::size_t i = 0; i < clusters.count(); ++i) {
        std::string_view c = clusters.at(i);
        if (c.size() == 1 && codeSymbols.find(c[0]) != std::string_view::npos) {
            ++symbols;
        }
    }
    return symbols * 10 > clusters.count() * 3;
}

std::string strippingListMarker(std::string_view line) {
    for (std::string_view marker : {"- ", "* ", "+ ", "・", "▸ ", "> "}) {
        if (tt::hasGraphemePrefix(line, marker)) {
            line.remove_prefix(marker.size());
            break;
        }
    }
    line.remove_prefix(numberMarkerLength(line));
    return std::string(tt::trimWhitespace(line));
}

std::vector<std::string> splitIntoSentences(std::string_view line) {
    std::vector<std::string> result;
    Clusters clusters(line);
    const std::size_t count = clusters.count();
    std::size_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view c = clusters.at(i);
        bool ends = false;
        if (c.size() == 1) {
            ends = (c[0] == '.' || c[0] == '!' || c[0] == '?') &&
                   (i + 1 == count || clusters.at(i + 1) == " ");
        } else if (c.size() == 3) {
            ends = isOneOf(c, {"。", "！", "？"});
        }
        if (ends) {
            std::size_t end = clusters.boundary(i + 1);
            result.emplace_back(line.substr(start, end - start));
            start = end;
        }
    }
    std::string_view rest = line.substr(start);
    if (!tt::trimWhitespace(rest).empty()) {
        result.emplace_back(rest);
    }
    return result;
}

bool isInstruction(std::string_view sentence) {
    std::string_view t = tt::trimWhitespaceAndNewlines(sentence);
    if (t.empty() || tt::hasGraphemeSuffix(t, "？") || tt::hasGraphemeSuffix(t, "?")) {
        return false;
    }
    t = dropTrailing(t, {"。", "．", ".", "!", "！", " "});
    for (std::string_view ending :
         {"こと", "ないで", "ください", "下さい", "せよ", "しろ", "なさい", "ない", "して"}) {
        if (tt::hasGraphemeSuffix(t, ending)) {
            return true;
        }
    }
    if (containsAny(
            t, {"べき", "禁止", "必ず", "絶対", "決して", "してはならない", "常に", "以外は"})) {
        return true;
    }
    const std::string lower = tt::lowercased(t);
    return std::any_of(std::begin(englishMarkers), std::end(englishMarkers),
                       [&](std::string_view m) { return lower.find(m) != std::string::npos; });
}

std::string normalize(std::string_view sentence) {
    const std::string folded = tt::lowercased(tt::nfkc(sentence));
    std::string text(dropTrailing(tt::trimWhitespaceAndNewlines(folded),
                                  {"。", "．", ".", "!", "?", "！", "？", "、", ",", "・", " "}));
    bool replaced = true;
    while (replaced) {
        replaced = false;
        for (const PoliteEnding& polite : politeEndings) {
            if (tt::hasGraphemeSuffix(text, polite.ending) &&
                tt::graphemeCountUpTo(text, polite.length) > polite.length) {
                text.resize(text.size() - polite.ending.size());
                text += polite.replacement;
                replaced = true;
                break;
            }
        }
    }
    std::string key;
    key.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        std::size_t start = offset;
        unsigned char byte = static_cast<unsigned char>(text[offset]);
        if (byte < 0x80) {
            ++offset;
            if (byte != ' ' && (byte < '\t' || byte > '\r')) {
                key += static_cast<char>(byte);
            }
            continue;
        }
        char32_t c = tt::decodeAt(text, offset);
        if (!u_isUWhiteSpace(static_cast<UChar32>(c))) {
            key.append(text, start, offset - start);
        }
    }
    return key;
}

std::vector<std::string_view> bigramViews(std::string_view text) {
    Clusters clusters(text);
    const std::size_t count = clusters.count();
    std::vector<std::string_view> result;
    if (count == 1) {
        result.push_back(text);
    }
    for (std::size_t i = 0; i + 1 < count; ++i) {
        std::size_t start = clusters.boundary(i);
        result.push_back(text.substr(start, clusters.boundary(i + 2) - start));
    }
    return result;
}

std::set<std::string> bigrams(std::string_view text) {
    std::set<std::string> result;
    for (std::string_view bigram : bigramViews(text)) {
        result.emplace(bigram);
    }
    return result;
}

double similarity(std::string_view a, std::string_view b) {
    std::set<std::string> first = bigrams(a);
    std::set<std::string> second = bigrams(b);
    if (first.empty() || second.empty()) {
        return a == b ? 1.0 : 0.0;
    }
    std::size_t common = 0;
    for (const std::string& bigram : first) {
        common += second.count(bigram);
    }
    return static_cast<double>(common) / static_cast<double>(first.size() + second.size() - common);
}

} // namespace tamsel::SentenceIndex
