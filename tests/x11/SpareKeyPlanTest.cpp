// The plan of spare keycodes for a text: every character finds its spare when
// its turn comes, and no spare changes while a run still needs it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/x11/SpareKeyPlan.h"

using namespace tamsel;

namespace {

// Plays the plan through, as the keyboard does; returns what went wrong, or
// nothing.
std::string replay(const std::vector<unsigned long>& keysyms, std::vector<unsigned long> spares,
                   const std::vector<SpareKeyPlan::Run>& runs) {
    std::size_t begin = 0;
    for (const SpareKeyPlan::Run& run : runs) {
        if (run.end <= begin || run.end > keysyms.size()) {
            return "run ending at " + std::to_string(run.end) + " after " + std::to_string(begin);
        }
        for (const SpareKeyPlan::Remap& remap : run.remaps) {
            spares.at(remap.spare) = remap.keysym;
        }
        std::set<unsigned long> distinct;
        for (std::size_t i = begin; i < run.end; ++i) {
            if (keysyms[i] == 0) {
                continue;
            }
            distinct.insert(keysyms[i]);
            if (std::find(spares.begin(), spares.end(), keysyms[i]) == spares.end()) {
                return "character " + std::to_string(i) + " has no spare";
            }
        }
        // As long as it can be: one more character would need one spare too many.
        if (run.end < keysyms.size()) {
            distinct.insert(keysyms[run.end]);
            if (distinct.size() != spares.size() + 1) {
                return "run ending at " + std::to_string(run.end) + " could go on";
            }
        }
        begin = run.end;
    }
    return begin == keysyms.size() ? "" : "text not covered";
}

// `distinct` characters in a scrambled order, every third position one the
// layout types.
std::vector<unsigned long> mixedText(std::size_t length, unsigned long distinct) {
    std::vector<unsigned long> text;
    for (std::size_t i = 0; i < length; ++i) {
        text.push_back(i % 3 == 2 ? 0 : 0x1004E00 + (i * 7919 + i / 5) % distinct);
    }
    return text;
}

TEST(SpareKeyPlan, EveryCharacterHasItsSpareInRunsAsLongAsTheSparesAllow) {
    for (std::size_t spareCount : {1u, 2u, 5u, 19u}) {
        for (unsigned long distinct : {1ul, 7ul, 19ul, 48ul}) {
            const auto text = mixedText(600, distinct);
            std::vector<unsigned long> spares(spareCount, 0);
            // Some spares still hold characters of an earlier text.
            spares[0] = 0x1004E00;
            if (spareCount > 2) {
                spares[2] = 0x1009999;
            }
            const auto runs = SpareKeyPlan::make(text, spares);
            EXPECT_EQ(replay(text, spares, runs), "")
                << spareCount << " spares, " << distinct << " characters";
            if (distinct <= spareCount) {
                EXPECT_EQ(runs.size(), 1u);
            }
        }
    }
}

TEST(SpareKeyPlan, SparesHoldingWhatARunNeedsStayAndEmptyOnesAreTakenFirst) {
    constexpr unsigned long a = 0x1000001, b = 0x1000002, c = 0x1000003, d = 0x1000004;
    // a and b are there already: only c needs a spare, and the empty one takes it.
    auto runs = SpareKeyPlan::make({a, 0, b, c, a}, {b, d, 0, a});
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].remaps.size(), 1u);
    EXPECT_EQ(runs[0].remaps[0].spare, 2u);
    EXPECT_EQ(runs[0].remaps[0].keysym, c);

    // The same text again: nothing to change, so nothing to wait for.
    runs = SpareKeyPlan::make({a, 0, b, c, a}, {b, d, c, a});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].remaps.empty());

    // Two spares, three characters: a second run, which keeps the spare that
    // holds what it needs and remaps the other.
    runs = SpareKeyPlan::make({a, b, a, c, b}, {0, 0});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].end, 3u);
    EXPECT_EQ(runs[0].remaps.size(), 2u);
    ASSERT_EQ(runs[1].remaps.size(), 1u);
    EXPECT_EQ(runs[1].remaps[0].keysym, c);
    EXPECT_EQ(runs[1].remaps[0].spare, runs[0].remaps[0].spare); // a's, b stays
}

TEST(SpareKeyPlan, NoTextNoRunsAndNoSparesNoRemaps) {
    EXPECT_TRUE(SpareKeyPlan::make({}, {0, 0}).empty());
    const auto runs = SpareKeyPlan::make({0x1000001, 0, 0x1000002}, {});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].end, 3u);
    EXPECT_TRUE(runs[0].remaps.empty());
}

} // namespace
