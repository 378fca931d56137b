#include "core/analysis/LenientJson.h"

#include <string_view>

namespace tamsel::LenientJson {

namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned hexValue(const char* digits) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = digits[i];
        value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return value;
}

bool isJsonNumber(std::string_view token) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
            ++i;
        }
        return i > start;
    };
    if (i < token.size() && token[i] == '-') {
        ++i;
    }
    if (i < token.size() && token[i] == '0') {
        ++i;
    } else if (!digits()) {
        return false;
    }
    if (i < token.size() && token[i] == '.') {
        ++i;
        if (!digits()) {
            return false;
        }
    }
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
            ++i;
        }
        if (!digits()) {
            return false;
        }
    }
    return i == token.size();
}

} // namespace

bool relaxTokens(std::string& json) {
    bool changed = false;
    const std::size_t size = json.size();
    std::size_t i = 0;
    while (i < size) {
        const char c = json[i];
        if (c == '"') {
            ++i;
            while (i < size && json[i] != '"') {
                if (json[i] != '\\') {
                    ++i;
                    continue;
                }
                if (i + 6 <= size && json[i + 1] == 'u' && isHex(json[i + 2]) &&
                    isHex(json[i + 3]) && isHex(json[i + 4]) && isHex(json[i + 5])) {
                    const unsigned unit = hexValue(&json[i + 2]);
                    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
                    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
                    if (high && i + 12 <= size && json[i + 6] == '\\' && json[i + 7] == 'u' &&
                        isHex(json[i + 8]) && isHex(json[i + 9]) && isHex(json[i + 10]) &&
                        isHex(json[i + 11])) {
                        const unsigned next = hexValue(&json[i + 8]);
                        if (next >= 0xDC00 && next <= 0xDFFF) {
                            i += 12;
                            continue;
                        }
                    }
                    if (high || low) {
                        json.replace(i + 2, 4, "fffd");
                        changed = true;
                    }
                    i += 6;
                } else {
                    i += 2;
                }
            }
            ++i;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            const std::size_t start = i;
            while (i < size &&
                   ((json[i] >= '0' && json[i] <= '9') || json[i] == '-' || json[i] == '+' ||
                    json[i] == '.' || json[i] == 'e' || json[i] == 'E')) {
                ++i;
            }
            const std::size_t length = i - start;
            if (isJsonNumber(std::string_view(json).substr(start, length))) {
                std::string zero = length == 1 ? "0" : length == 2 ? "-0" : "0.";
                zero.resize(length, '0');
                if (json.compare(start, length, zero) != 0) {
                    json.replace(start, length, zero);
                    changed = true;
                }
            }
        } else {
            ++i;
        }
    }
    return changed;
}

} // namespace tamsel::LenientJson
