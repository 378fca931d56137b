#include "core/analysis/CandidateBuilder.h"

#include <random>

#include <gtest/gtest.h>

#include "core/analysis/SentenceIndex.h"

using namespace tamsel;
namespace cb = tamsel::CandidateBuilder;
using Strings = std::vector<std::string>;

namespace {

Timestamp at(std::int64_t micros) {
    return Timestamp{std::chrono::microseconds{micros}};
}

PromptRecord record(std::string session, std::string text, std::int64_t index = 1,
                    std::string project = "/work/app", Timestamp time = at(0)) {
    PromptRecord r;
    r.sessionID = std::move(session);
    r.text = std::move(text);
    r.indexInSession = index;
    r.project = std::move(project);
    r.timestamp = time;
    return r;
}

// Observations made by hand, for clustering with chosen keys.
struct Made {
    std::vector<PromptRecord> records;
    std::vector<std::pair<std::string, std::string>> keyAndSentence;

    void add(std::string key, std::string session, std::string sentence = "") {
        records.push_back(record(std::move(session), sentence));
        keyAndSentence.emplace_back(std::move(key), sentence.empty() ? "s" : sentence);
    }
    std::vector<cb::Observation> observations() const {
        std::vector<cb::Observation> out;
        for (std::size_t i = 0; i < records.size(); ++i) {
            out.push_back({keyAndSentence[i].first, keyAndSentence[i].second, &records[i]});
        }
        return out;
    }
};

ConventionSection section(std::string title, Strings lines, std::optional<std::string> lead = {}) {
    return {std::move(title), "proj", std::move(lead), std::move(lines), 0};
}

// The clustering exactly as first written down: every head against every
// key of the list by the Jaccard index of their bigram sets.
std::vector<cb::KeyCluster> plainMerge(const std::vector<std::string>& keys) {
    std::vector<std::set<std::string>> sets;
    for (const std::string& key : keys) {
        sets.push_back(SentenceIndex::bigrams(key));
    }
    auto similarity = [&](std::size_t a, std::size_t b) {
        if (sets[a].empty() || sets[b].empty()) {
            return keys[a] == keys[b] ? 1.0 : 0.0;
        }
        std::size_t common = 0;
        for (const std::string& bigram : sets[a]) {
            common += sets[b].count(bigram);
        }
        return static_cast<double>(common) /
               static_cast<double>(sets[a].size() + sets[b].size() - common);
    };
    std::vector<bool> absorbed(keys.size(), false);
    std::vector<cb::KeyCluster> clusters;
    for (std::size_t h = 0; h < keys.size(); ++h) {
        if (absorbed[h]) {
            continue;
        }
        cb::KeyCluster cluster{h, {h}};
        for (std::size_t o = 0; o < keys.size(); ++o) {
            if (o != h && !absorbed[o] && similarity(h, o) >= SentenceIndex::similarityThreshold) {
                cluster.members.push_back(o);
                absorbed[o] = true;
            }
        }
        absorbed[h] = true;
        clusters.push_back(std::move(cluster));
    }
    return clusters;
}

} // namespace

TEST(CandidateBuilderRepeated, CountsConversationsNotRepetitions) {
    std::vector<PromptRecord> records{
        record("s1", "Always run the tests before committing.", 0, "/p/alpha", at(30)),
        record("s2", "Fix the bug. Always run the tests before committing.", 3, "/p/beta/", at(10)),
        record("s3", "always run the tests before committing", 1, "", at(20)),
    };
    auto candidates = cb::build(records, {});
    ASSERT_EQ(candidates.size(), 1u);
    const PromptCandidate& c = candidates[0];
    EXPECT_EQ(c.id, "repeated:alwaysrunthetestsbeforecommitting");
    EXPECT_EQ(c.kind, CandidateKind::repeated);
    EXPECT_EQ(c.occurrences, 3);
    EXPECT_EQ(c.representative, "Always run the tests before committing.");
    EXPECT_EQ(c.examples, (Strings{"Always run the tests before committing.",
                                   "always run the tests before committing"}));
    EXPECT_EQ(c.projects, (Strings{"", "alpha", "beta"}));
    EXPECT_EQ(c.period, (DateRange{at(10), at(30)}));
    EXPECT_FALSE(c.title || c.context || c.conventionSource || c.sourceName);

    // Five times in two conversations is not enough.
    std::vector<PromptRecord> two;
    for (int i = 0; i < 5; ++i) {
        two.push_back(record(i % 2 ? "a" : "b", "Never push to main."));
    }
    EXPECT_TRUE(cb::build(two, {}).empty());
    // Records without a session all count as one conversation.
    std::vector<PromptRecord> anonymous(4, record("", "Never push to main."));
    EXPECT_TRUE(cb::build(anonymous, {}).empty());
    EXPECT_EQ(cb::sessionCount(cb::observations(anonymous)), 1u);
}

TEST(CandidateBuilderRepeated, ObservationsOncePerKeyAndPrompt) {
    std::vector<PromptRecord> records{
        record("s", "Never push to main. Never push to main!\nThe build is fast.\nUse x."),
        record("t",
               "```\nNever push in code\n```\nテストを実行してください。テストを実行すること。")};
    auto observations = cb::observations(records);
    ASSERT_EQ(observations.size(), 2u);
    EXPECT_EQ(observations[0].key, "neverpushtomain");
    EXPECT_EQ(observations[0].sentence, "Never push to main.");
    EXPECT_EQ(observations[0].record, &records[0]);
    EXPECT_EQ(observations[1].key, "テストを実行する");
    EXPECT_EQ(observations[1].sentence, "テストを実行してください。");
}

TEST(CandidateBuilderRepeated, PoliteVariantsShareAKey) {
    std::vector<PromptRecord> records{record("1", "テストを実行してください。"),
                                      record("2", "テストを実行すること"),
                                      record("3", "テストを実行してください")};
    auto candidates = cb::build(records, {});
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].occurrences, 3);
    // Every variant once: the shortest represents.
    EXPECT_EQ(candidates[0].representative, "テストを実行すること");
}

TEST(CandidateBuilderCluster, ThresholdIsInclusive) {
    Made half;
    half.add("abcdefg", "s1");
    half.add("abcdefg", "s2");
    half.add("abcdexy", "s3"); // 4 shared bigrams of 8
    auto merged = cb::cluster(half.observations(), CandidateKind::repeated, 3);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].id, "repeated:abcdefg");
    EXPECT_EQ(merged[0].occurrences, 3);

    Made third;
    third.add("abcdefg", "s1");
    third.add("abcdefg", "s2");
    third.add("abcdxyz", "s3"); // 3 of 9
    EXPECT_TRUE(cb::cluster(third.observations(), CandidateKind::repeated, 3).empty());
}

TEST(CandidateBuilderCluster, OnlyHeadsAbsorbInSessionOrder) {
    // a~b and b~c, but not a~c.
    const std::string a = "abcdefgh", b = "cdefghij", c = "efghijkl";
    Made made;
    for (const char* s : {"1", "2", "3"}) {
        made.add(a, s);
    }
    made.add(b, "4");
    made.add(c, "5");
    made.add(c, "6");
    auto candidates = cb::cluster(made.observations(), CandidateKind::correction, 2);
    ASSERT_EQ(candidates.size(), 2u);
    std::map<std::string, int> byId;
    for (const auto& candidate : candidates) {
        byId[candidate.id] = candidate.occurrences;
    }
    EXPECT_EQ(byId, (std::map<std::string, int>{{"correction:" + a, 4}, {"correction:" + c, 2}}));

    // With b in the most conversations, b heads and takes both.
    Made middle;
    for (const char* s : {"1", "2", "3"}) {
        middle.add(b, s);
    }
    middle.add(a, "4");
    middle.add(c, "5");
    candidates = cb::cluster(middle.observations(), CandidateKind::repeated, 3);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].id, "repeated:" + b);
    EXPECT_EQ(candidates[0].occurrences, 5);
}

TEST(CandidateBuilderCluster, RepresentativeAndExamples) {
    Made tie;
    tie.add("abcdexy", "s3", "aa same"); // absorbed group, first in observation order
    tie.add("abcdefg", "s1", "zz same");
    tie.add("abcdefg", "s2", "yy same");
    auto candidates = cb::cluster(tie.observations(), CandidateKind::repeated, 3);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].representative, "zz same");
    EXPECT_EQ(candidates[0].examples, (Strings{"aa same", "yy same", "zz same"}));

    Made counts;
    for (const char* s : {"1", "2"}) {
        counts.add("abcdefg", s, "the longer sentence");
    }
    counts.add("abcdefg", "3", "short");
    counts.add("abcdefg", "4", "tiny");
    for (const char* s : {"5", "6", "7", "8"}) {
        counts.add("abcdefg", s, std::string("variant ") + s);
    }
    candidates = cb::cluster(counts.observations(), CandidateKind::repeated, 3);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].representative, "the longer sentence");
    EXPECT_EQ(candidates[0].examples,
              (Strings{"the longer sentence", "short", "tiny", "variant 5", "variant 6"}));

    Made shorter;
    shorter.add("abcdefg", "1", "a longer one");
    shorter.add("abcdefg", "2", "short one");
    shorter.add("abcdefg", "3", "short two");
    candidates = cb::cluster(shorter.observations(), CandidateKind::repeated, 3);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].representative, "short one");
}

TEST(CandidateBuilderCluster, PrunedAgreesWithPlainOnRandomKeys) {
    std::mt19937 random(20240601);
    const std::vector<std::string> alphabet{"a", "b", "c", "d", "あ", "い", "e\u0301", "🇯🇵"};
    for (int round = 0; round < 3000; ++round) {
        std::set<std::string> distinct;
        const int count = std::uniform_int_distribution<int>(0, 40)(random);
        const int letters = std::uniform_int_distribution<int>(2, 8)(random);
        for (int i = 0; i < count; ++i) {
            const int length = std::uniform_int_distribution<int>(0, 12)(random);
            std::string key;
            for (int j = 0; j < length; ++j) {
                key += alphabet[std::uniform_int_distribution<int>(0, letters - 1)(random)];
            }
            distinct.insert(key);
        }
        std::vector<std::string> keys(distinct.begin(), distinct.end());
        std::shuffle(keys.begin(), keys.end(), random);
        ASSERT_EQ(cb::mergeSimilarKeys(keys), plainMerge(keys)) << "round " << round;
    }
}

TEST(CandidateBuilderCorrections, FiltersAndCounts) {
    const std::string at120 = "Actually " + std::string(111, 'x');
    std::vector<PromptRecord> records{
        record("s1", "No, that's not what I meant.", 0), // first prompt of its conversation
        record("s2", "No, that's not what I meant.", 1),
        record("s3", "  No, that's not what I meant. \n", 4),
        record("s4", "ACTUALLY, revert that", 2),
        record("s5", "actually, Revert That!", 2),
        record("s6", "No, is that right?", 1),
        record("s7", "No, is that right?", 1),
        record("s8", at120, 1),
        record("s9", at120, 1),
        record("s8", at120 + "y", 1),
        record("s9", at120 + "y", 1),
        record("s1", "違う、そうじゃない。", 1),
        record("s2", "違う、そうじゃない", 1),
        record("s3", "fine, thanks a lot", 1),
        record("s4", "fine, thanks a lot", 1),
    };
    std::map<std::string, int> byRepresentative;
    for (const auto& candidate : cb::corrections(records)) {
        EXPECT_EQ(candidate.kind, CandidateKind::correction);
        EXPECT_TRUE(candidate.id.starts_with("correction:"));
        byRepresentative[candidate.representative] = candidate.occurrences;
    }
    EXPECT_EQ(byRepresentative, (std::map<std::string, int>{{"No, that's not what I meant.", 2},
                                                            {"ACTUALLY, revert that", 2},
                                                            {at120, 2},
                                                            {"違う、そうじゃない", 2}}));
}

TEST(CandidateBuilderBuild, UnfollowedConventionsAndFinalOrder) {
    std::vector<PromptRecord> records;
    for (const char* s : {"1", "2", "3"}) {
        records.push_back(record(s, "Always run the tests before committing!"));
        records.push_back(record(s, "Never push to main."));
        records.push_back(record(s, "Always add type hints."));
    }
    for (const char* s : {"1", "2", "3", "4"}) {
        records.push_back(record(s, "Keep the diff small."));
    }
    records.push_back(record("1", "actually, undo that", 1));
    records.push_back(record("2", "actually, undo that", 1));
    std::vector<ConventionSection> sections{
        section("Two", {"インデントは空白4つ", "Never push to a release branch directly"}),
        section("Rules", {"Never edit generated files", "Always run the tests before committing.",
                          "always run the tests before committing", "Never use tabs"}),
    };
    auto candidates = cb::build(records, sections);
    std::vector<std::pair<CandidateKind, std::string>> order;
    for (const auto& c : candidates) {
        order.emplace_back(c.kind, c.representative);
    }
    using K = CandidateKind;
    EXPECT_EQ(order, (std::vector<std::pair<CandidateKind, std::string>>{
                         {K::unfollowedConvention, "Always run the tests before committing!"},
                         {K::convention, "Never edit generated files"},
                         {K::convention, "インデントは空白4つ"},
                         {K::correction, "actually, undo that"},
                         {K::repeated, "Keep the diff small."},
                         {K::repeated, "Always add type hints."},
                         {K::repeated, "Never push to main."}}));
    const PromptCandidate& unfollowed = candidates[0];
    EXPECT_EQ(unfollowed.id, "repeated:alwaysrunthetestsbeforecommitting");
    EXPECT_EQ(unfollowed.conventionSource, "Always run the tests before committing.");
    EXPECT_EQ(unfollowed.sourceName, std::nullopt);
    EXPECT_EQ(unfollowed.occurrences, 3);

    // Without any convention line nothing is marked.
    sections = {section("Empty", {})};
    candidates = cb::build(records, sections);
    EXPECT_EQ(candidates.front().kind, CandidateKind::convention);
    EXPECT_EQ(candidates.front().representative, "Empty");
    EXPECT_EQ(candidates.size(), 6u);
}

TEST(CandidateBuilderConvention, CandidateFromSection) {
    auto s = section("Rules",
                     {"Never one", "Never two", "必ず three 必ず", "Never four", "必ず five 必ず",
                      "Never six", "最重要 seven"},
                     "以下を守ること");
    PromptCandidate c = cb::candidate(s);
    EXPECT_EQ(c.id, "convention:proj#Rules");
    EXPECT_EQ(c.kind, CandidateKind::convention);
    EXPECT_EQ(c.title, "Rules");
    EXPECT_EQ(c.context, "以下を守ること");
    EXPECT_EQ(c.representative, "必ず three 必ず");
    EXPECT_EQ(c.examples.size(), 5u);
    EXPECT_EQ(c.examples.back(), "必ず five 必ず");
    EXPECT_EQ(c.occurrences, 7);
    EXPECT_EQ(c.sourceName, "proj");
    EXPECT_TRUE(c.projects.empty());
    EXPECT_FALSE(c.period || c.conventionSource);
    EXPECT_EQ(c.fallbackText(),
              "Never one\nNever two\n必ず three 必ず\nNever four\n必ず five 必ず");
    // No emphasis anywhere: the first line.
    EXPECT_EQ(cb::candidate(section("T", {"Never a thing", "Never b thing"})).representative,
              "Never a thing");
}

TEST(CandidateBuilderFallback, NameCutsAtASpaceAfterThirteenCharacters) {
    PromptCandidate c;
    c.representative = std::string(20, 'a') + " " + std::string(19, 'b');
    EXPECT_EQ(c.fallbackName(), std::string(20, 'a'));
    c.representative = std::string(10, 'a') + " " + std::string(29, 'b');
    EXPECT_EQ(c.fallbackName(), std::string(10, 'a') + " " + std::string(21, 'b'));
    c.representative = std::string(13, 'a') + " " + std::string(30, 'b');
    EXPECT_EQ(c.fallbackName(), std::string(13, 'a'));
    std::string kana;
    for (int i = 0; i < 40; ++i) {
        kana += "あ";
    }
    c.representative = kana;
    EXPECT_EQ(c.fallbackName(), kana.substr(0, 32 * 3));
    c.representative = "  short name \n";
    EXPECT_EQ(c.fallbackName(), "short name");
    EXPECT_EQ(c.fallbackText(), "  short name \n");
    c.title = "";
    EXPECT_EQ(c.fallbackName(), "short name");
    c.title = "Title";
    EXPECT_EQ(c.fallbackName(), "Title");
    // Only a convention joins its examples.
    c.examples = {"one", "two"};
    EXPECT_EQ(c.fallbackText(), c.representative);
    c.kind = CandidateKind::convention;
    EXPECT_EQ(c.fallbackText(), "one\ntwo");
    c.examples.clear();
    EXPECT_EQ(c.fallbackText(), c.representative);
}

TEST(CandidateBuilderObservations, SplitWorkKeepsRecordOrder) {
    // Enough text for the two-thread path.
    std::vector<PromptRecord> records;
    const std::string log(3000, 'x');
    for (int i = 0; i < 600; ++i) {
        std::string text = "Never touch file " + std::to_string(i % 37) + ".\n" + log + "\n";
        if (i % 3 == 0) {
            text += "必ずテスト" + std::to_string(i % 11) + "を実行すること。";
        }
        records.push_back(record("s" + std::to_string(i % 50), text));
    }
    auto all = cb::observations(records);
    std::vector<std::tuple<std::string, std::string, std::size_t>> expected, actual;
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::vector<PromptRecord> one{records[i]};
        for (const auto& o : cb::observations(one)) {
            expected.emplace_back(o.key, o.sentence, i);
        }
    }
    for (const auto& o : all) {
        actual.emplace_back(o.key, o.sentence, static_cast<std::size_t>(o.record - records.data()));
    }
    EXPECT_EQ(actual.size(), 800u);
    EXPECT_EQ(actual, expected);
}

// The same steps one after another, on enough text for the threads, with the
// similarity function itself.
TEST(CandidateBuilderBuild, AgreesWithTheStepsRunInSequence) {
    const Strings instructions{"Always run the tests before committing.",
                               "always run the tests before you commit",
                               "Never push to main.",
                               "テストを実行してください。",
                               "テストを実行すること",
                               "Keep the diff small.",
                               "Please keep the diff minimal.",
                               "変更は最小限にしてください。"};
    const Strings corrections{"No, that's not what I meant.", "Actually, revert that.",
                              "違う、そうじゃない。",         "Don't touch unrelated files.",
                              "undo the last change",         "だめ、戻して。"};
    std::mt19937 random(5);
    auto pick = [&](const Strings& pool) {
        return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
    };
    std::vector<PromptRecord> records;
    const std::string filler(2000, 'z');
    for (int i = 0; i < 1200; ++i) {
        const std::string session = "s" + std::to_string(i % 97);
        const std::string project = "/p/project" + std::to_string(i % 7);
        std::string text = i % 2 ? pick(corrections) : pick(instructions) + "\n" + filler;
        if (i % 5 == 0) {
            text += " " + pick(instructions) + "\nuse " + std::to_string(i % 31) + " more tests";
        }
        records.push_back(record(session, text, i % 4, project, at(i * 7 % 1000)));
    }
    const std::vector<ConventionSection> sections{
        section("Tests", {"Run the tests before committing", "テストを必ず実行すること"}),
        section("Diffs", {"Keep diffs minimal", "Never push directly to main branch"})};

    std::vector<PromptCandidate> expected;
    for (const auto& s : sections) {
        expected.push_back(cb::candidate(s));
    }
    for (PromptCandidate c : cb::cluster(cb::observations(records), CandidateKind::repeated, 3)) {
        const std::string key = SentenceIndex::normalize(c.representative);
        std::optional<std::string> best;
        double bestSimilarity = 0;
        for (const auto& s : sections) {
            for (const std::string& line : s.lines) {
                double similarity = SentenceIndex::similarity(key, SentenceIndex::normalize(line));
                if (similarity >= 0.5 && (!best || similarity > bestSimilarity)) {
                    best = line;
                    bestSimilarity = similarity;
                }
            }
        }
        if (best) {
            c.kind = CandidateKind::unfollowedConvention;
            c.conventionSource = best;
        }
        expected.push_back(std::move(c));
    }
    for (PromptCandidate& c : cb::corrections(records)) {
        expected.push_back(std::move(c));
    }
    // The order itself is checked above; here only what the candidates are.
    auto built = cb::build(records, sections);
    auto byId = [](const PromptCandidate& a, const PromptCandidate& b) { return a.id < b.id; };
    std::sort(expected.begin(), expected.end(), byId);
    std::sort(built.begin(), built.end(), byId);
    EXPECT_GE(built.size(), 6u);
    EXPECT_EQ(built, expected);
}
