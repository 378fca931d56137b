// A CLAUDE.md file and the files it imports, all of them the fuzzer's bytes.
// The input is cut at lines "=== next file ===" into the files of a home
// folder of its own; imports may reach any of them, themselves included.

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/ConventionIndex.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using tamsel::fuzz::check;

namespace {

constexpr std::string_view fileBreak = "\n=== next file ===\n";
constexpr std::array<std::string_view, 5> fileNames = {
    ".claude/CLAUDE.md", ".claude/rules.md", "app/CLAUDE.md", "app/docs/style.md", "shared.md",
};

std::vector<std::string_view> splitFiles(std::string_view bytes) {
    std::vector<std::string_view> files;
    while (files.size() + 1 < fileNames.size()) {
        const std::size_t cut = bytes.find(fileBreak);
        if (cut == std::string_view::npos) {
            break;
        }
        files.push_back(bytes.substr(0, cut));
        bytes.remove_prefix(cut + fileBreak.size());
    }
    files.push_back(bytes);
    return files;
}

bool ranksBefore(const ConventionSection& a, const ConventionSection& b) {
    if (a.emphasis != b.emphasis) {
        return a.emphasis > b.emphasis;
    }
    if (a.lines.size() != b.lines.size()) {
        return a.lines.size() > b.lines.size();
    }
    return a.title < b.title;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testing::TemporaryFolder home;
    // lines() finds "~" through $HOME.
    static const bool homeSet = ::setenv("HOME", home.path().c_str(), 1) == 0;
    check(homeSet, "HOME points at the fuzzer's home");
    const std::vector<std::string_view> files =
        splitFiles(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::size_t i = 0; i < fileNames.size(); ++i) {
        if (i < files.size()) {
            home.write(fileNames[i], files[i]);
        } else {
            std::filesystem::remove(home / fileNames[i]);
        }
    }

    const std::string homePath = home.path().string();
    const std::vector<std::string> found =
        ConventionIndex::conventionFiles({homePath + "/app", "", homePath + "/app"}, homePath);
    check(!found.empty() && found.size() <= 2, "the home and project files, each once");

    const std::vector<ConventionSection> sections = ConventionIndex::sections(found, homePath);
    std::set<std::string> titles;
    std::vector<std::string> expectedLines;
    for (const ConventionSection& section : sections) {
        check(section.lines.size() >= ConventionIndex::minimumLinesPerSection &&
                  section.lines.size() <= ConventionIndex::maximumLinesPerSection,
              "a section holds 2 to 12 lines");
        check(titles.insert(section.title).second, "one section per title");
        check(section.emphasis >= 0, "emphasis is a count");
        expectedLines.insert(expectedLines.end(), section.lines.begin(), section.lines.end());
    }
    check(std::is_sorted(sections.begin(), sections.end(), ranksBefore), "sections are ranked");
    check(ConventionIndex::sections(found, homePath) == sections, "reading again gives the same");
    check(ConventionIndex::lines(found) == expectedLines, "lines are the sections' lines");
    return 0;
}
