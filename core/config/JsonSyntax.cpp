#include "core/config/JsonSyntax.h"

namespace tamsel::JsonSyntax {

namespace {

class Checker {
public:
    explicit Checker(std::string_view text, std::vector<Span>* numbers = nullptr)
        : text_(text), numbers_(numbers) {}

    std::optional<SyntaxError> run() {
        skipSpace();
        if (!value()) {
            return error_;
        }
        skipSpace();
        if (at_ < text_.size()) {
            return fail("Unexpected text after the end of the JSON value");
        }
        return std::nullopt;
    }

private:
    // Containers are tracked on an explicit stack so that deep nesting cannot
    // exhaust the call stack.
    enum class Container { object, array };

    bool value() {
        std::vector<Container> open;
        while (true) {
            if (at_ >= text_.size()) {
                return failBool("Unexpected end of data");
            }
            char c = text_[at_];
            if (c == '{' || c == '[') {
                ++at_;
                skipSpace();
                const bool isObject = c == '{';
                if (at_ < text_.size() && text_[at_] == (isObject ? '}' : ']')) {
                    ++at_;
                } else {
                    open.push_back(isObject ? Container::object : Container::array);
                    if (isObject && !memberKey()) {
                        return false;
                    }
                    continue;
                }
            } else if (!scalar()) {
                return false;
            }
            // After a complete value: close containers or move to the next element.
            while (true) {
                if (open.empty()) {
                    return true;
                }
                skipSpace();
                if (at_ >= text_.size()) {
                    return failBool("Unexpected end of data");
                }
                const char closer = open.back() == Container::object ? '}' : ']';
                if (text_[at_] == closer) {
                    ++at_;
                    open.pop_back();
                    continue;
                }
                if (text_[at_] != ',') {
                    return failBool(open.back() == Container::object
                                        ? "Expected ',' or '}' after an object member"
                                        : "Expected ',' or ']' after an array element");
                }
                ++at_;
                skipSpace();
                if (open.back() == Container::object && !memberKey()) {
                    return false;
                }
                break;
            }
        }
    }

    // A key, its colon and the space up to the member's value.
    bool memberKey() {
        if (at_ >= text_.size()) {
            return failBool("Unexpected end of data");
        }
        if (text_[at_] != '"') {
            return failBool("Expected a quoted key");
        }
        if (!string()) {
            return false;
        }
        skipSpace();
        if (at_ >= text_.size() || text_[at_] != ':') {
            return failBool("Expected ':' after a key");
        }
        ++at_;
        skipSpace();
        return true;
    }

    bool scalar() {
        char c = text_[at_];
        if (c == '"') {
            return string();
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            return number();
        }
        for (std::string_view word : {"true", "false", "null"}) {
            if (text_.substr(at_).starts_with(word)) {
                at_ += word.size();
                return true;
            }
        }
        return failBool(describeUnexpected());
    }

    bool string() {
        ++at_; // opening quote
        while (true) {
            if (at_ >= text_.size()) {
                return failBool("Unterminated string");
            }
            auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) {
                return failBool("Unescaped control character in a string");
            }
            if (c == '\\') {
                if (!escape()) {
                    return false;
                }
                continue;
            }
            if (c >= 0x80) {
                if (!utf8Sequence()) {
                    return false;
                }
                continue;
            }
            ++at_;
        }
    }

    bool escape() {
        ++at_;
        if (at_ >= text_.size()) {
            return failBool("Unterminated string");
        }
        char e = text_[at_];
        if (std::string_view("\"\\/bfnrt").find(e) != std::string_view::npos) {
            ++at_;
            return true;
        }
        if (e != 'u') {
            return failBool("Invalid escape sequence");
        }
        const std::size_t start = at_ - 1;
        ++at_;
        auto unit = hexUnit();
        if (!unit) {
            return failBool("Invalid \\u escape");
        }
        if (*unit >= 0xDC00 && *unit <= 0xDFFF) {
            at_ = start;
            return failBool("Unpaired surrogate in a \\u escape");
        }
        if (*unit >= 0xD800 && *unit <= 0xDBFF) {
            // Half of a pair: the other half must follow at once.
            std::optional<unsigned> low;
            if (text_.substr(at_).starts_with("\\u")) {
                at_ += 2;
                low = hexUnit();
            }
            if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                at_ = start;
                return failBool("Unpaired surrogate in a \\u escape");
            }
        }
        return true;
    }

    // Four hex digits of a \u escape.
    std::optional<unsigned> hexUnit() {
        unsigned unit = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            if (at_ >= text_.size() || !isHex(text_[at_])) {
                return std::nullopt;
            }
            const char c = text_[at_];
            unit = unit * 16 + static_cast<unsigned>(isDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        return unit;
    }

    bool utf8Sequence() {
        auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text_[i]); };
        unsigned char lead = byte(at_);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return failBool("Invalid UTF-8");
        }
        for (std::size_t i = 1; i < length; ++i) {
            if (at_ + i >= text_.size()) {
                return failBool("Invalid UTF-8");
            }
            unsigned char next = byte(at_ + i);
            unsigned char min = i == 1 ? low : 0x80;
            unsigned char max = i == 1 ? high : 0xBF;
            if (next < min || next > max) {
                return failBool("Invalid UTF-8");
            }
        }
        at_ += length;
        return true;
    }

    bool number() {
        std::size_t start = at_;
        if (text_[at_] == '-') {
            ++at_;
        }
        if (at_ < text_.size() && text_[at_] == '0') {
            ++at_;
        } else if (!digits()) {
            return failBool("Invalid number");
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits()) {
                return failBool("Invalid number");
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            if (!digits()) {
                return failBool("Invalid number");
            }
        }
        if (at_ < text_.size() && (isDigit(text_[at_]) || text_[at_] == '.')) {
            at_ = start;
            return failBool("Invalid number");
        }
        if (numbers_ != nullptr) {
            numbers_->push_back({start, at_ - start});
        }
        return true;
    }

    bool digits() {
        std::size_t start = at_;
        while (at_ < text_.size() && isDigit(text_[at_])) {
            ++at_;
        }
        return at_ > start;
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static bool isHex(char c) {
        return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }

    void skipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    std::string describeUnexpected() const {
        auto c = static_cast<unsigned char>(text_[at_]);
        if (c >= 0x21 && c < 0x7F) {
            return std::string("Unexpected character '") + static_cast<char>(c) + "'";
        }
        return "Unexpected character";
    }

    SyntaxError fail(std::string problem) {
        SyntaxError error;
        error.offset = at_;
        error.problem = std::move(problem);
        for (std::size_t i = 0; i < at_; ++i) {
            auto c = static_cast<unsigned char>(text_[i]);
            if (c == '\n') {
                ++error.line;
                error.column = 1;
            } else if ((c & 0xC0) != 0x80) {
                ++error.column;
            }
        }
        return error;
    }

    bool failBool(std::string problem) {
        error_ = fail(std::move(problem));
        return false;
    }

    std::string_view text_;
    std::vector<Span>* numbers_;
    std::size_t at_ = 0;
    std::optional<SyntaxError> error_;
};

} // namespace

std::optional<SyntaxError> firstError(std::string_view text) {
    return Checker(text).run();
}

std::vector<Span> numbers(std::string_view text) {
    std::vector<Span> found;
    if (Checker(text, &found).run()) {
        found.clear();
    }
    return found;
}

} // namespace tamsel::JsonSyntax
