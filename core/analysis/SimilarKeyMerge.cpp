#include "core/analysis/SimilarKeyMerge.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "core/analysis/SentenceIndex.h"

namespace tamsel::CandidateBuilder {

namespace {

using BigramSet = std::vector<std::uint32_t>;

// Each key becomes the sorted set of its bigram ids. Ids are ranked by how
// many keys hold them, rarest first, for the prefix filter below.
std::vector<BigramSet> rankedBigramSets(const std::vector<std::string>& orderedKeys,
                                        std::size_t& idCount) {
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<BigramSet> sets(orderedKeys.size());
    std::vector<std::uint32_t> frequency;
    for (std::size_t i = 0; i < orderedKeys.size(); ++i) {
        for (std::string_view bigram : SentenceIndex::bigramViews(orderedKeys[i])) {
            auto [it, inserted] = ids.try_emplace(bigram, static_cast<std::uint32_t>(ids.size()));
            sets[i].push_back(it->second);
        }
        std::sort(sets[i].begin(), sets[i].end());
        sets[i].erase(std::unique(sets[i].begin(), sets[i].end()), sets[i].end());
        frequency.resize(ids.size(), 0);
        for (std::uint32_t id : sets[i]) {
            ++frequency[id];
        }
    }
    std::vector<std::uint32_t> byRarity(ids.size());
    for (std::uint32_t id = 0; id < byRarity.size(); ++id) {
        byRarity[id] = id;
    }
    std::sort(byRarity.begin(), byRarity.end(), [&](std::uint32_t a, std::uint32_t b) {
        return frequency[a] != frequency[b] ? frequency[a] < frequency[b] : a < b;
    });
    std::vector<std::uint32_t> rank(ids.size());
    for (std::uint32_t r = 0; r < byRarity.size(); ++r) {
        rank[byRarity[r]] = r;
    }
    for (BigramSet& set : sets) {
        for (std::uint32_t& id : set) {
            id = rank[id];
        }
        std::sort(set.begin(), set.end());
    }
    idCount = ids.size();
    return sets;
}

// Prefix filter: a Jaccard index of at least 1/2 needs an overlap of at least
// half of either set, so the two sets share a bigram among the first
// |S| - ceil(|S| / 2) + 1 of each in rarity order. Only those prefixes are
// indexed, and a head looks up only its own prefix.
std::size_t prefixLength(std::size_t size) {
    return size == 0 ? 0 : size / 2 + 1;
}

// Whether |A ∩ B| / |A ∪ B| reaches 1/2, given `common` shared bigrams
// counted up to positions i in A and j in B.
bool reachesHalf(const BigramSet& a, const BigramSet& b, std::size_t common, std::size_t i,
                 std::size_t j) {
    const std::size_t needed = (a.size() + b.size() + 2) / 3;
    if (common + std::min(a.size() - i, b.size() - j) < needed) {
        return false;
    }
    while (i < a.size() && j < b.size()) {
        if (a[i] < b[j]) {
            ++i;
        } else if (b[j] < a[i]) {
            ++j;
        } else {
            ++common, ++i, ++j;
        }
    }
    // common / (|A| + |B| - common) >= 1/2, in whole numbers.
    return 3 * common >= a.size() + b.size();
}

class KeyMerge {
public:
    explicit KeyMerge(const std::vector<std::string>& orderedKeys)
        : sets_(rankedBigramSets(orderedKeys, idCount_)), overlap_(sets_.size(), 0),
          lastInHead_(sets_.size(), 0), lastInKey_(sets_.size(), 0), absorbed_(sets_.size(), 0) {
        indexPrefixes();
    }

    std::vector<KeyCluster> run() {
        std::vector<KeyCluster> clusters;
        std::vector<std::size_t> matched;
        for (std::size_t h = 0; h < sets_.size(); ++h) {
            if (absorbed_[h]) {
                continue;
            }
            countPrefixOverlaps(h);
            matched.clear();
            for (std::uint32_t o : touched_) {
                // Every shared bigram up to the last one met was counted;
                // only those after it remain to be found.
                if (overlap_[o] > 0 &&
                    reachesHalf(sets_[h], sets_[o], static_cast<std::size_t>(overlap_[o]),
                                lastInHead_[o] + 1, lastInKey_[o] + 1)) {
                    matched.push_back(o);
                }
                overlap_[o] = 0;
            }
            std::sort(matched.begin(), matched.end());
            KeyCluster cluster{h, {h}};
            for (std::size_t o : matched) {
                absorbed_[o] = 1;
                cluster.members.push_back(o);
            }
            absorbed_[h] = 1;
            clusters.push_back(std::move(cluster));
        }
        return clusters;
    }

private:
    struct Posting {
        std::uint32_t key;
        std::uint32_t position; // of the bigram within the key's set
    };
    // Overlap found so far in the prefixes with the current head; -1 once
    // the pair can no longer reach the threshold.
    static constexpr int ruledOut = -1;

    void indexPrefixes() {
        std::vector<std::size_t> start(idCount_ + 1, 0);
        for (const BigramSet& set : sets_) {
            for (std::size_t p = 0; p < prefixLength(set.size()); ++p) {
                ++start[set[p] + 1];
            }
        }
        for (std::size_t r = 0; r < idCount_; ++r) {
            start[r + 1] += start[r];
        }
        postings_.resize(start.back());
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < sets_.size(); ++i) {
            for (std::size_t p = 0; p < prefixLength(sets_[i].size()); ++p) {
                postings_[fill[sets_[i][p]]++] = {static_cast<std::uint32_t>(i),
                                                  static_cast<std::uint32_t>(p)};
            }
        }
        // Postings are in key order and heads come in key order, so each
        // list is consumed from a cursor that moves past the keys up to the
        // current head.
        cursor_.assign(start.begin(), start.end() - 1);
        end_.assign(start.begin() + 1, start.end());
    }

    // Counts, for every later key that shares a prefix bigram with head h,
    // the bigrams met so far, and rules out the keys that cannot reach the
    // threshold any more. The keys met are left in touched_.
    void countPrefixOverlaps(std::size_t h) {
        const BigramSet& a = sets_[h];
        touched_.clear();
        for (std::size_t p = 0; p < prefixLength(a.size()); ++p) {
            const std::uint32_t token = a[p];
            const std::size_t end = end_[token];
            std::size_t& at = cursor_[token];
            while (at < end && postings_[at].key <= h) {
                ++at;
            }
            // Absorbed keys are dropped from a list as it is read: most keys
            // end up absorbed, and long lists would otherwise be read again
            // and again.
            std::size_t kept = at;
            for (std::size_t k = at; k < end; ++k) {
                const Posting posting = postings_[k];
                if (absorbed_[posting.key]) {
                    continue;
                }
                postings_[kept++] = posting;
                countShared(a, p, posting);
            }
            end_[token] = kept;
        }
    }

    void countShared(const BigramSet& a, std::size_t p, Posting posting) {
        const std::uint32_t o = posting.key;
        int& found = overlap_[o];
        if (found == ruledOut) {
            return;
        }
        const std::size_t b = sets_[o].size();
        if (found == 0) {
            touched_.push_back(o);
            // |A ∩ B| <= min, so J >= 1/2 needs 2 min >= max.
            if (2 * b < a.size() || b > 2 * a.size()) {
                found = ruledOut;
                return;
            }
        }
        // Bigrams ranked before this one were all met in the prefixes
        // already; those after it match at most as many times as the shorter
        // remainder holds.
        const std::size_t needed = (a.size() + b + 2) / 3;
        const std::size_t rest = std::min(a.size() - p - 1, b - posting.position - 1);
        if (static_cast<std::size_t>(found) + 1 + rest >= needed) {
            ++found;
            lastInHead_[o] = static_cast<std::uint32_t>(p);
            lastInKey_[o] = posting.position;
        } else {
            found = ruledOut;
        }
    }

    std::size_t idCount_ = 0;
    std::vector<BigramSet> sets_;
    std::vector<Posting> postings_;
    std::vector<std::size_t> cursor_;
    std::vector<std::size_t> end_;
    std::vector<int> overlap_;
    // Where in each set the last bigram shared with the head stands.
    std::vector<std::uint32_t> lastInHead_;
    std::vector<std::uint32_t> lastInKey_;
    std::vector<char> absorbed_;
    std::vector<std::uint32_t> touched_;
};

} // namespace

std::vector<KeyCluster> mergeSimilarKeys(const std::vector<std::string>& orderedKeys) {
    return KeyMerge(orderedKeys).run();
}

} // namespace tamsel::CandidateBuilder
