#include "engine/InjectionText.h"

#include "core/toolkit/TextToolkit.h"

namespace tamsel::InjectionText {

std::string flattenForTyping(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if (c == '\r' || c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string withoutControlCharacters(std::string_view text) {
    std::string out = flattenForTyping(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return out;
}

std::vector<std::string> chunks(std::string_view text, std::ptrdiff_t size) {
    std::vector<std::string> out;
    for (std::string_view piece : TextToolkit::graphemeChunks(text, size)) {
        out.emplace_back(piece);
    }
    return out;
}

} // namespace tamsel::InjectionText
