#pragma once

// Groups differently worded forms of one request: keys whose bigram sets
// overlap by a Jaccard index of at least one half end up in one cluster.

#include <cstddef>
#include <string>
#include <vector>

namespace tamsel::CandidateBuilder {

// A head key and the keys it absorbed, as indexes into the ordered key list;
// the head comes first, the absorbed follow in list order.
struct KeyCluster {
    std::size_t head = 0;
    std::vector<std::size_t> members;
    bool operator==(const KeyCluster&) const = default;
};

// Takes distinct keys in priority order; each key not yet absorbed becomes a
// head and absorbs every later unabsorbed key whose bigram similarity to it
// is at least the threshold. Gives the clusters in head order.
std::vector<KeyCluster> mergeSimilarKeys(const std::vector<std::string>& orderedKeys);

} // namespace tamsel::CandidateBuilder
