#include "core/config/ConfigCodec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include <simdjson.h>

#include "core/config/JsonSyntax.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel::ConfigCodec {

namespace {

namespace dom = simdjson::dom;

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Where a key appears twice in one object, the last one counts.
std::optional<dom::element> lastField(dom::object object, std::string_view key) {
    std::optional<dom::element> found;
    for (auto field : object) {
        if (field.key == key) {
            found = field.value;
        }
    }
    return found;
}

std::optional<std::string> stringValue(const std::optional<dom::element>& element) {
    if (!element) {
        return std::nullopt;
    }
    std::string_view text;
    if (element->get_string().get(text) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    return std::string(text);
}

std::optional<bool> boolValue(const std::optional<dom::element>& element) {
    bool value = false;
    if (!element || element->get_bool().get(value) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// Whole numbers only, as a signed 64-bit value: 100 and 100.0 read, 40.5 does not.
std::optional<std::int64_t> integerValue(const std::optional<dom::element>& element) {
    if (!element) {
        return std::nullopt;
    }
    switch (element->type()) {
    case dom::element_type::INT64:
        return element->get_int64().value_unsafe();
    case dom::element_type::DOUBLE: {
        double value = element->get_double().value_unsafe();
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (std::isfinite(value) && std::trunc(value) == value && value >= -limit &&
            value < limit) {
            return static_cast<std::int64_t>(value);
        }
        return std::nullopt;
    }
    default: // unsigned values above the signed range, and every other type
        return std::nullopt;
    }
}

std::optional<std::vector<std::string>> stringList(const std::optional<dom::element>& element) {
    dom::array array;
    if (!element || element->get_array().get(array) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (dom::element item : array) {
        auto text = stringValue(item);
        if (!text) {
            return std::nullopt;
        }
        out.push_back(std::move(*text));
    }
    return out;
}

Rule decodeRule(dom::object object) {
    Rule rule;
    auto id = stringValue(lastField(object, "id"));
    rule.id = id && !id->empty() ? std::move(*id) : TextToolkit::makeUuid();
    rule.name = stringValue(lastField(object, "name")).value_or("");
    rule.enabled = boolValue(lastField(object, "enabled")).value_or(true);
    rule.hotkey = stringValue(lastField(object, "hotkey")).value_or("");
    rule.insertHotkey = stringValue(lastField(object, "insertHotkey")).value_or("");
    rule.text = stringValue(lastField(object, "text")).value_or("");
    rule.separator = stringValue(lastField(object, "separator"));
    return rule;
}

DecodeResult failure(std::string message) {
    return DecodeResult{std::nullopt, std::move(message)};
}

// `skipped` is the byte-order mark's length when one was dropped: the byte
// offset names the file's own byte, while an editor shows no column for the mark.
std::string notJsonMessage(std::string_view text, std::size_t skipped, simdjson::error_code code) {
    std::string message = "The given data was not valid JSON.";
    if (auto error = JsonSyntax::firstError(text)) {
        message += " " + error->problem + " at line " + std::to_string(error->line) + ", column " +
                   std::to_string(error->column) + " (byte " +
                   std::to_string(error->offset + skipped) + ").";
    } else {
        message += " " + std::string(simdjson::error_message(code));
    }
    return message;
}

// Whether the parser can hold the number: an integer within 64 bits (signed,
// or unsigned when positive), or any other number short of the double range's
// overflow. Underflow is fine: it reads as zero.
bool parserHolds(std::string_view token) {
    const char* first = token.data();
    const char* last = first + token.size();
    if (token.find_first_of(".eE") == std::string_view::npos) {
        std::int64_t signedValue = 0;
        std::uint64_t unsignedValue = 0;
        return std::from_chars(first, last, signedValue).ec == std::errc{} ||
               std::from_chars(first, last, unsignedValue).ec == std::errc{};
    }
    double value = 0;
    if (std::from_chars(first, last, value).ec == std::errc{}) {
        return true;
    }
    // Out of range, one way or the other: the decimal order of the first
    // significant digit tells which.
    const std::size_t exponentAt = token.find_first_of("eE");
    const std::string_view mantissa = token.substr(0, exponentAt);
    const std::size_t point = mantissa.find('.');
    const std::size_t significant = mantissa.find_first_of("123456789");
    if (significant == std::string_view::npos) {
        return true; // zero
    }
    const std::size_t integerEnd = point == std::string_view::npos ? mantissa.size() : point;
    long long order = significant < integerEnd
                          ? static_cast<long long>(integerEnd - significant) - 1
                          : -static_cast<long long>(significant - integerEnd);
    if (exponentAt != std::string_view::npos) {
        std::string_view exponent = token.substr(exponentAt + 1);
        const bool negative = exponent.starts_with('-');
        if (exponent.starts_with('-') || exponent.starts_with('+')) {
            exponent.remove_prefix(1);
        }
        long long magnitude = 0;
        for (char digit : exponent) {
            magnitude = std::min(magnitude * 10 + (digit - '0'), 1'000'000'000LL);
        }
        order += negative ? -magnitude : magnitude;
    }
    return order < 0;
}

// The parser refuses numbers it cannot hold (integers beyond 64 bits, values
// beyond the double range), though they are JSON. No such number is a readable
// value here, so each is read as null and its key takes the default, instead of
// the whole file failing. Offsets stay as they were. No value when nothing
// needed masking.
std::optional<std::string> maskUnholdableNumbers(std::string_view text) {
    std::string masked;
    for (JsonSyntax::Span span : JsonSyntax::numbers(text)) {
        const std::string_view token = text.substr(span.offset, span.length);
        if (parserHolds(token) || token.size() < 4) {
            continue;
        }
        if (masked.empty()) {
            masked = text;
        }
        masked.replace(span.offset, span.length, "null" + std::string(token.size() - 4, ' '));
    }
    if (masked.empty()) {
        return std::nullopt;
    }
    return masked;
}

// The writer: keys are emitted in sorted order by construction.
class Writer {
public:
    void openObject() { out_ += "{\n"; }
    void key(std::string_view name, int depth, bool first) {
        if (!first) {
            out_ += ",\n";
        }
        indent(depth);
        string(name);
        out_ += " : ";
    }
    void closeObject(int depth) {
        out_ += '\n';
        indent(depth);
        out_ += '}';
    }
    void boolean(bool value) { out_ += value ? "true" : "false"; }
    void integer(std::int64_t value) { out_ += std::to_string(value); }
    void string(std::string_view text) { appendQuoted(out_, text); }
    template <typename Item, typename WriteItem>
    void array(const std::vector<Item>& items, int depth, WriteItem writeItem) {
        if (items.empty()) {
            out_ += "[]";
            return;
        }
        out_ += "[\n";
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0) {
                out_ += ",\n";
            }
            indent(depth + 1);
            writeItem(items[i]);
        }
        out_ += '\n';
        indent(depth);
        out_ += ']';
    }
    std::string take() { return std::move(out_); }

private:
    void indent(int depth) { out_.append(static_cast<std::size_t>(depth) * 2, ' '); }
    std::string out_;
};

} // namespace

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[(c >> 4) & 0x0F];
                out += hex[c & 0x0F];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

DecodeResult decode(std::string_view bytes) {
    std::size_t skipped = 0;
    if (bytes.starts_with(byteOrderMark)) {
        skipped = byteOrderMark.size();
        bytes.remove_prefix(skipped);
    }
    // The parser is not thread-safe and is cheap next to the file read, so each
    // call gets its own.
    dom::parser parser;
    simdjson::padded_string padded(bytes);
    dom::element root;
    if (auto code = parser.parse(padded).get(root); code != simdjson::SUCCESS) {
        auto masked = code == simdjson::NUMBER_ERROR ? maskUnholdableNumbers(bytes) : std::nullopt;
        if (!masked) {
            return failure(notJsonMessage(bytes, skipped, code));
        }
        padded = simdjson::padded_string(*masked);
        if (parser.parse(padded).get(root) != simdjson::SUCCESS) {
            return failure(notJsonMessage(bytes, skipped, code));
        }
    }
    dom::object top;
    if (root.get_object().get(top) != simdjson::SUCCESS) {
        return failure("Type mismatch at ");
    }

    Config config;
    config.enabled = boolValue(lastField(top, "enabled")).value_or(true);
    if (auto raw = stringValue(lastField(top, "language"))) {
        config.language = languagePreferenceFromRawValue(*raw).value_or(LanguagePreference::system);
    }
    if (auto raw = stringValue(lastField(top, "injectionMethod"))) {
        config.injectionMethod = injectionMethodFromRawValue(*raw).value_or(InjectionMethod::paste);
    }
    config.modelServerURL = stringValue(lastField(top, "modelServerURL"));
    config.preDelayMS =
        integerValue(lastField(top, "preDelayMS")).value_or(Config::defaultPreDelayMS);
    config.postDelayMS =
        integerValue(lastField(top, "postDelayMS")).value_or(Config::defaultPostDelayMS);
    config.clampDelays();
    if (auto targets = stringList(lastField(top, "targetBundleIDs"))) {
        config.targetBundleIDs = std::move(*targets);
    }

    auto rules = lastField(top, "rules");
    if (rules && !rules->is_null()) {
        dom::array array;
        if (rules->get_array().get(array) != simdjson::SUCCESS) {
            return failure("Type mismatch at rules");
        }
        std::size_t index = 0;
        for (dom::element item : array) {
            dom::object object;
            if (item.get_object().get(object) != simdjson::SUCCESS) {
                return failure("Type mismatch at rules.Index " + std::to_string(index));
            }
            config.rules.push_back(decodeRule(object));
            ++index;
        }
    }
    return DecodeResult{std::move(config), {}};
}

std::string encode(const Config& config) {
    Writer writer;
    writer.openObject();
    writer.key("enabled", 1, true);
    writer.boolean(config.enabled);
    writer.key("injectionMethod", 1, false);
    writer.string(rawValue(config.injectionMethod));
    writer.key("language", 1, false);
    writer.string(rawValue(config.language));
    if (config.modelServerURL) {
        writer.key("modelServerURL", 1, false);
        writer.string(*config.modelServerURL);
    }
    writer.key("postDelayMS", 1, false);
    writer.integer(config.postDelayMS);
    writer.key("preDelayMS", 1, false);
    writer.integer(config.preDelayMS);
    writer.key("rules", 1, false);
    writer.array(config.rules, 1, [&](const Rule& rule) {
        writer.openObject();
        writer.key("enabled", 3, true);
        writer.boolean(rule.enabled);
        writer.key("hotkey", 3, false);
        writer.string(rule.hotkey);
        writer.key("id", 3, false);
        writer.string(rule.id);
        writer.key("insertHotkey", 3, false);
        writer.string(rule.insertHotkey);
        writer.key("name", 3, false);
        writer.string(rule.name);
        if (rule.separator) {
            writer.key("separator", 3, false);
            writer.string(*rule.separator);
        }
        writer.key("text", 3, false);
        writer.string(rule.text);
        writer.closeObject(2);
    });
    writer.key("targetBundleIDs", 1, false);
    writer.array(config.targetBundleIDs, 1, [&](const std::string& id) { writer.string(id); });
    writer.closeObject(0);
    std::string out = writer.take();
    out += '\n';
    return out;
}

} // namespace tamsel::ConfigCodec
