#include "core/analysis/ConventionIndex.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <simdjson.h>
#include <unistd.h>

#include "core/toolkit/Hashing.h"
#include "core/toolkit/HomeDirectory.h"
#include "core/analysis/SentenceIndex.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel::ConventionIndex {

namespace fs = std::filesystem;
namespace tt = TextToolkit;

namespace {

constexpr std::string_view emphasisMarkers[] = {
    "最重要", "必ず", "禁止", "絶対", "厳守", "常に", "MAX", "重要", "してはならない", "決して"};

// Only regular files are read: a FIFO or device named CLAUDE.md would block
// or never end.
std::optional<std::string> readUtf8File(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(fs::status(path, error)) || error) {
        return std::nullopt;
    }
    std::string text;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return std::nullopt;
        }
        std::ostringstream buffer;
        buffer << in.rdbuf();
        if (in.bad()) {
            return std::nullopt;
        }
        text = std::move(buffer).str();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    if (!simdjson::validate_utf8(text.data(), text.size())) {
        return std::nullopt;
    }
    return text;
}

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (!path.ends_with('/')) {
        path += '/';
    }
    path += name;
    return path;
}

std::string_view parentDirectory(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    return slash == 0 ? std::string_view("/") : path.substr(0, slash);
}

std::string_view lastComponent(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string sourceNameOf(std::string_view path) {
    std::string_view name = lastComponent(path);
    std::size_t dot = name.rfind('.');
    std::string_view base = dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
    if (base != "CLAUDE") {
        return std::string(name);
    }
    std::string_view directory = parentDirectory(path);
    std::string_view directoryName = lastComponent(directory);
    return std::string(directoryName.empty() ? directory : directoryName);
}

// Emphasis and code marks are not part of a rule's wording.
std::string withoutMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "**") == 0) {
            ++i;
        } else if (text[i] != '`') {
            out += text[i];
        }
    }
    return out;
}

struct SectionBuilder {
    std::string title;
    std::string sourceName;
    std::optional<std::string> lead;
    std::optional<std::string> pending;
    std::vector<std::string> lines;

    void finish(std::vector<ConventionSection>& out) {
        if (lines.size() >= minimumLinesPerSection) {
            if (lines.size() > maximumLinesPerSection) {
                lines.resize(maximumLinesPerSection);
            }
            std::string all = title + lead.value_or("");
            for (const std::string& line : lines) {
                all += line;
            }
            out.push_back({title, sourceName, lead, lines, emphasisScore(all)});
        }
        restart(title);
    }
    void restart(std::string newTitle) {
        title = std::move(newTitle);
        lead.reset();
        pending.reset();
        lines.clear();
    }
};

} // namespace

std::vector<std::string> conventionFiles(const std::vector<std::string>& projects) {
    return conventionFiles(projects, homeDirectory().string());
}

std::vector<std::string> conventionFiles(const std::vector<std::string>& projects,
                                         std::string_view home) {
    std::vector<std::string> candidates{joinPath(joinPath(home, ".claude"), "CLAUDE.md")};
    for (const std::string& project : std::set<std::string>(projects.begin(), projects.end())) {
        if (!project.empty()) {
            candidates.push_back(joinPath(project, "CLAUDE.md"));
        }
    }
    std::vector<std::string> files;
    for (std::string& path : candidates) {
        std::error_code error;
        if (fs::exists(path, error) && !error) {
            files.push_back(std::move(path));
        }
    }
    return files;
}

std::vector<ConventionSection> sections(const std::vector<std::string>& files) {
    return sections(files, homeDirectory().string());
}

std::vector<ConventionSection> sections(const std::vector<std::string>& files,
                                        std::string_view home) {
    std::set<std::string> visited;
    std::vector<ConventionSection> all;
    for (const std::string& file : files) {
        for (ConventionSection& section : sections(file, 0, visited, home)) {
            all.push_back(std::move(section));
        }
    }
    std::set<std::string> titles;
    std::vector<ConventionSection> result;
    for (ConventionSection& section : all) {
        if (titles.insert(section.title).second) {
            result.push_back(std::move(section));
        }
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const ConventionSection& a, const ConventionSection& b) {
                         if (a.emphasis != b.emphasis) {
                             return a.emphasis > b.emphasis;
                         }
                         if (a.lines.size() != b.lines.size()) {
                             return a.lines.size() > b.lines.size();
                         }
                         return a.title < b.title;
                     });
    return result;
}

std::vector<ConventionSection> sections(std::string_view file, int depth,
                                        std::set<std::string>& visited, std::string_view home) {
    const std::string path = standardizedPath(file);
    if (!visited.insert(path).second) {
        return {};
    }
    std::optional<std::string> text = readUtf8File(path);
    if (!text) {
        return {};
    }
    std::vector<ConventionSection> result;
    SectionBuilder current;
    current.sourceName = sourceNameOf(path);
    current.title = current.sourceName;
    bool inCode = false;
    for (std::string_view line : tt::splitLines(*text)) {
        std::string_view t = tt::trimWhitespace(line);
        if (tt::hasGraphemePrefix(t, "```")) {
            inCode = !inCode;
            continue;
        }
        if (inCode || t.empty()) {
            continue;
        }
        if (depth == 0 && tt::hasGraphemePrefix(t, "@") && t.find(' ') == std::string_view::npos) {
            current.finish(result);
            std::string_view target = t.substr(1);
            std::string importPath;
            if (tt::hasGraphemePrefix(target, "~")) {
                importPath = std::string(home) + std::string(target.substr(1));
            } else if (tt::hasGraphemePrefix(target, "/")) {
                importPath = target;
            } else {
                importPath = joinPath(parentDirectory(path), target);
            }
            for (ConventionSection& section : sections(importPath, depth + 1, visited, home)) {
                result.push_back(std::move(section));
            }
            continue;
        }
        if (tt::hasGraphemePrefix(t, "#")) {
            current.finish(result);
            // A "#" that a combining mark joins is part of the title, not a heading mark.
            std::string_view title = t;
            while (tt::hasGraphemePrefix(title, "#")) {
                title.remove_prefix(1);
            }
            current.restart(std::string(tt::trimWhitespace(title)));
            continue;
        }
        if (tt::hasGraphemePrefix(t, "- ") || tt::hasGraphemePrefix(t, "* ")) {
            const std::string stripped = withoutMarkup(SentenceIndex::strippingListMarker(t));
            const std::string_view s = tt::trimWhitespace(stripped);
            const std::size_t length = tt::graphemeCount(s);
            if (length < SentenceIndex::minimumSentenceLength ||
                length > SentenceIndex::maximumSentenceLength) {
                continue;
            }
            const std::optional<std::string>& context =
                current.lead ? current.lead : current.pending;
            if (!SentenceIndex::isInstruction(s) &&
                !(context && SentenceIndex::isInstruction(*context))) {
                continue;
            }
            if (current.lines.empty()) {
                current.lead = current.pending;
            }
            current.lines.emplace_back(s);
            continue;
        }
        if (tt::hasGraphemePrefix(t, "|") || tt::hasGraphemePrefix(t, ">") ||
            tt::graphemeCount(t) > SentenceIndex::maximumSentenceLength) {
            continue;
        }
        current.pending = withoutMarkup(t);
    }
    current.finish(result);
    return result;
}

std::vector<std::string> lines(const std::vector<std::string>& files) {
    std::vector<std::string> all;
    for (ConventionSection& section : sections(files)) {
        for (std::string& line : section.lines) {
            all.push_back(std::move(line));
        }
    }
    return all;
}

int emphasisScore(std::string_view text) {
    int score = 0;
    for (std::string_view marker : emphasisMarkers) {
        for (std::size_t at = text.find(marker); at != std::string_view::npos;
             at = text.find(marker, at + marker.size())) {
            ++score;
        }
    }
    return score;
}

std::string standardizedPath(std::string_view path) {
    const bool absolute = path.starts_with('/');
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            result += '/';
        }
        result += parts[i];
    }
    if (result.empty() && !path.empty()) {
        result = ".";
    }
    return result;
}

} // namespace tamsel::ConventionIndex

std::size_t std::hash<tamsel::ConventionSection>::operator()(
    const tamsel::ConventionSection& section) const noexcept {
    return tamsel::Hashing::fields(section.title, section.sourceName, section.lead, section.lines,
                                   section.emphasis);
}
