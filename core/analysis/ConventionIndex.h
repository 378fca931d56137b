#pragma once

// Reads the user's CLAUDE.md convention files (the home one and each
// project's, with the files they import) into sections of rule lines.
// Files are only read; a file that is missing or not UTF-8 yields nothing.

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

struct ConventionSection {
    std::string title; // the heading, or sourceName for the part before the first heading
    std::string
        sourceName; // the project's folder name (".claude" at home), or an imported file's name
    std::optional<std::string> lead; // the paragraph line before the first accepted bullet
    std::vector<std::string> lines;  // accepted bullets, 2 to 12
    int emphasis = 0;

    std::string id() const { return sourceName + "#" + title; }
    bool operator==(const ConventionSection&) const = default;
};

namespace ConventionIndex {

inline constexpr std::size_t minimumLinesPerSection = 2;
inline constexpr std::size_t maximumLinesPerSection = 12;

// ~/.claude/CLAUDE.md, then CLAUDE.md in each distinct non-empty project
// folder in sorted order; only the files that exist.
std::vector<std::string> conventionFiles(const std::vector<std::string>& projects);
std::vector<std::string> conventionFiles(const std::vector<std::string>& projects,
                                         std::string_view home);

// Every file's sections, the first of each title kept, sorted by emphasis
// (descending), number of lines (descending) and title.
std::vector<ConventionSection> sections(const std::vector<std::string>& files);
std::vector<ConventionSection> sections(const std::vector<std::string>& files,
                                        std::string_view home);

// One file's sections in file order, imports in place. `visited` holds the
// standardised paths already read in this pass and is updated.
std::vector<ConventionSection> sections(std::string_view file, int depth,
                                        std::set<std::string>& visited, std::string_view home);

// The lines of all sections of sections(files), in section order.
std::vector<std::string> lines(const std::vector<std::string>& files);

// Non-overlapping occurrences of the ten emphasis markers, summed.
int emphasisScore(std::string_view text);

// "." dropped, ".." pops a component, repeated "/" collapsed, no trailing "/".
std::string standardizedPath(std::string_view path);

} // namespace ConventionIndex

} // namespace tamsel

template <> struct std::hash<tamsel::ConventionSection> {
    std::size_t operator()(const tamsel::ConventionSection& section) const noexcept;
};
