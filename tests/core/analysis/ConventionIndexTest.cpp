#include "core/analysis/ConventionIndex.h"

#include <filesystem>
#include <random>

#include <sys/stat.h>
#include <sys/types.h>

#include <gtest/gtest.h>

#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
namespace ci = tamsel::ConventionIndex;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

using TempDir = tamsel::testing::TemporaryFolder;

std::vector<ConventionSection> sectionsOf(const std::string& file, std::string_view home = "/") {
    std::set<std::string> visited;
    return ci::sections(file, 0, visited, home);
}

} // namespace

TEST(ConventionIndexSections, LeadMakesPlainBulletsRules) {
    TempDir dir;
    auto file = dir.write("proj/CLAUDE.md", "# 規約\n以下を必ず守ること。\n\n"
                                            "- インデントは空白4つ\n- 行の長さは100まで\n"
                                            "- ファイル名は小文字\n");
    auto sections = sectionsOf(file);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].title, "規約");
    EXPECT_EQ(sections[0].sourceName, "proj");
    EXPECT_EQ(sections[0].lead, "以下を必ず守ること。");
    EXPECT_EQ(sections[0].lines.size(), 3u);
    EXPECT_EQ(sections[0].emphasis, 1);
    EXPECT_EQ(sections[0].id(), "proj#規約");
}

TEST(ConventionIndexSections, WithoutContextOnlyInstructionsCount) {
    TempDir dir;
    auto file = dir.write("p/CLAUDE.md", "## Style\n- Use tabs for indentation\n"
                                         "- The build uses make\n- Never push to main\n"
                                         "* **Use** `clang-format` always\n- Use x\n");
    auto sections = sectionsOf(file);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].lines, (Strings{"Use tabs for indentation", "Never push to main",
                                          "Use clang-format always"}));
    EXPECT_EQ(sections[0].lead, std::nullopt);
}

TEST(ConventionIndexSections, LineBoundsAndEmphasis) {
    TempDir dir;
    std::string many = "# Many\n";
    for (int i = 1; i <= 15; ++i) {
        many += "- Never do thing " + std::to_string(i) + (i > 12 ? " 必ず" : "") + "\n";
    }
    auto file = dir.write("a/CLAUDE.md", "# One\n- Always use tabs\n" + many +
                                             "# Marks\n必ず守ること\n- **必ず** run tests\n"
                                             "- 最重要 MAX max items\n- 短い行だ\n");
    auto sections = sectionsOf(file);
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].title, "Many");
    EXPECT_EQ(sections[0].lines.size(), 12u);
    EXPECT_EQ(sections[0].lines.back(), "Never do thing 12");
    EXPECT_EQ(sections[0].emphasis, 0);
    EXPECT_EQ(sections[1].lines, (Strings{"必ず run tests", "最重要 MAX max items"}));
    // Lead 1 + bullet 1 + 最重要 (also 重要) 2 + MAX 1; "max" does not count.
    EXPECT_EQ(sections[1].emphasis, 5);
    EXPECT_EQ(ci::emphasisScore("必ず必ず 重要最重要"), 5);
}

TEST(ConventionIndexSections, FencesTablesQuotesAndParagraphs) {
    TempDir dir;
    auto file = dir.write("b/CLAUDE.md", "# Real\n```\n# not a heading\n- Never inside fence\n```\n"
                                         "~~~\n- Never after tilde line\n- Always counted\n~~~\n"
                                         "| - Never a table |\n> - Never quoted\n");
    auto sections = sectionsOf(file);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].title, "Real");
    EXPECT_EQ(sections[0].lines, (Strings{"Never after tilde line", "Always counted"}));
}

TEST(ConventionIndexSections, PreambleTitledBySourceAndPendingAfterBlankLines) {
    TempDir dir;
    auto home =
        dir.write(".claude/CLAUDE.md", "\xEF\xBB\xBF"
                                       "Always follow these rules:\n\n\n"
                                       "- tabs only\n- one file per class\n"
                                       "1. numbered item is a paragraph\n- plain fact here\n");
    auto sections = sectionsOf(home);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].title, ".claude");
    EXPECT_EQ(sections[0].sourceName, ".claude");
    EXPECT_EQ(sections[0].lead, "Always follow these rules:");
    // The lead, once set, keeps giving context after a later paragraph line.
    EXPECT_EQ(sections[0].lines, (Strings{"tabs only", "one file per class", "plain fact here"}));
}

TEST(ConventionIndexSections, ByteOrderMarkDroppedInvalidUtf8Skipped) {
    TempDir dir;
    auto bom =
        dir.write("c/CLAUDE.md", "\xEF\xBB\xBF# Head\n- Never a\xC3\xA9 thing\n- Always b\n");
    auto bad = dir.write("d/CLAUDE.md", "# Bad\n- Never \xFF thing\n- Always b\n");
    auto all = ci::sections({bad, bom}, "/");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].title, "Head");
    EXPECT_TRUE(sectionsOf((dir / "missing/CLAUDE.md").string()).empty());
}

TEST(ConventionIndexImports, OneLevelInPlaceWithTitleKept) {
    TempDir dir;
    dir.write("p/docs/rules.md", "# Imported\n- Never use globals\n- Always add tests\n"
                                 "@nested.md\n");
    dir.write("p/docs/nested.md", "# Nested\n- Never read me\n- Always hidden\n");
    dir.write("home/extra.md", "- Never from home\n- Always from home\n");
    auto file = dir.write("p/CLAUDE.md", "# Top\n- Never a\n- Always b\n@docs/rules.md\n"
                                         "- Never c\n- Always d\n@~/extra.md\n"
                                         "@" +
                                             (dir / "p/docs/./rules.md").string() +
                                             "\n"
                                             "@not an import\n- Never e\n- Always f\n");
    auto sections = sectionsOf(file, (dir / "home").string());
    std::vector<std::pair<std::string, std::string>> seen;
    for (const auto& section : sections) {
        seen.emplace_back(section.sourceName, section.title);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"p", "Top"},
                                                                      {"rules.md", "Imported"},
                                                                      {"p", "Top"},
                                                                      {"extra.md", "extra.md"},
                                                                      {"p", "Top"}}));
    // The nested "@" line became a paragraph line of the imported file, and
    // the second path to rules.md was already visited.
    EXPECT_EQ(sections[1].lines, (Strings{"Never use globals", "Always add tests"}));
    EXPECT_EQ(sections[4].lines, (Strings{"Never e", "Always f"}));
    EXPECT_EQ(sections[4].lead, "@not an import");
}

TEST(ConventionIndexSections, MarksJoinedByACombiningMarkAreText) {
    TempDir dir;
    dir.write("p/~\u0301tilde.md", "- Never from tilde\n- Always from tilde\n");
    dir.write("p/\u0301slash.md", "- Never from slash\n- Always from slash\n");
    // What a byte-wise "~" would have read instead.
    dir.write("home\u0301tilde.md", "- Never from home\n- Always from home\n");
    auto file = dir.write("p/CLAUDE.md", "@~\u0301tilde.md\n@/\u0301slash.md\n"
                                         "##\u0301 Title\n- Never a\n- Always b\n");
    Strings seen;
    for (const auto& section : sectionsOf(file, (dir / "home").string())) {
        seen.push_back(section.sourceName + "#" + section.title);
    }
    // Neither import is home-relative or absolute: both name files beside CLAUDE.md.
    EXPECT_EQ(seen, (Strings{"~\u0301tilde.md#~\u0301tilde.md", "\u0301slash.md#\u0301slash.md",
                             "p##\u0301 Title"}));
}

TEST(ConventionIndexImports, CyclesAndDotDotPathsReadOnce) {
    TempDir dir;
    dir.write("shared/common.md", "# Common\n- Never skip review\n- Always write tests\n");
    auto a =
        dir.write("a/CLAUDE.md", "@CLAUDE.md\n@../shared/common.md\n# A\n- Never x\n- Never y\n");
    auto b =
        dir.write("b/CLAUDE.md", "@../a/CLAUDE.md\n@" + (dir / "b/../shared/common.md").string() +
                                     "\n# B\n- Never z\n- Never w\n");
    std::set<std::string> visited;
    auto first = ci::sections(a.string(), 0, visited, "/");
    auto second = ci::sections(b.string(), 0, visited, "/");
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].title, "Common");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].title, "B");
    EXPECT_TRUE(visited.count((dir / "shared/common.md").string()));
    // The same file named twice at the top level is read once.
    EXPECT_EQ(ci::sections({a, (dir / "a/../a/CLAUDE.md").string()}, "/").size(), 2u);
}

TEST(ConventionIndexAll, FirstTitleWinsThenSorted) {
    TempDir dir;
    auto home = dir.write(".claude/CLAUDE.md", "# Shared\n- Never home a\n- Never home b\n"
                                               "# Zed\n- Never z1\n- Never z2\n- Never z3\n");
    auto one = dir.write("x/same/CLAUDE.md", "- Never one a\n- Never one b\n"
                                             "# Shared\n- 必ず project\n- Never p\n");
    auto two = dir.write("y/same/CLAUDE.md", "- Never two a\n- Never two b\n"
                                             "# Alpha\n- Never a1\n- Never a2\n- Never a3\n");
    auto all = ci::sections({home, one, two}, "/");
    Strings titles;
    for (const auto& section : all) {
        titles.push_back(section.title);
    }
    EXPECT_EQ(titles, (Strings{"Alpha", "Zed", "Shared", "same"}));
    EXPECT_EQ(all[2].lines.front(), "Never home a");
    EXPECT_EQ(all[3].lines.front(), "Never one a");
}

TEST(ConventionIndexFiles, HomeFirstThenDistinctSortedProjectsThatExist) {
    TempDir dir;
    dir.write("home/.claude/CLAUDE.md", "x");
    dir.write("b/CLAUDE.md", "x");
    dir.write("a/CLAUDE.md", "x");
    fs::create_directories((dir / "nofile").string());
    auto files = ci::conventionFiles({(dir / "b").string(), "", (dir / "a").string(),
                                      (dir / "nofile").string(), (dir / "b").string() + "/"},
                                     (dir / "home").string());
    EXPECT_EQ(files,
              (Strings{(dir / "home/.claude/CLAUDE.md").string(), (dir / "a/CLAUDE.md").string(),
                       (dir / "b/CLAUDE.md").string(), (dir / "b/CLAUDE.md").string()}));
    EXPECT_TRUE(ci::conventionFiles({}, (dir / "nohome").string()).empty());
}

TEST(ConventionIndexFiles, SpecialFilesNeverBlock) {
    TempDir dir;
    fs::create_directories((dir / "d/CLAUDE.md").string());
    fs::create_directories((dir / "f").string());
    ASSERT_EQ(mkfifo((dir / "f/CLAUDE.md").string().c_str(), 0600), 0);
    EXPECT_TRUE(ci::sections({(dir / "d/CLAUDE.md").string(), (dir / "f/CLAUDE.md").string()}, "/")
                    .empty());
}

TEST(ConventionIndexPaths, LexicalStandardisation) {
    EXPECT_EQ(ci::standardizedPath("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(ci::standardizedPath("/../x"), "/x");
    EXPECT_EQ(ci::standardizedPath("/"), "/");
    EXPECT_EQ(ci::standardizedPath("a/../../b"), "../b");
    EXPECT_EQ(ci::standardizedPath("./"), ".");
}
