#include "core/analysis/CandidateBuilder.h"

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "core/analysis/ConventionMatcher.h"
#include "core/analysis/SentenceIndex.h"
#include "core/toolkit/Hashing.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel {

namespace tt = TextToolkit;

std::string PromptCandidate::fallbackText() const {
    if (kind != CandidateKind::convention || examples.empty()) {
        return representative;
    }
    std::string text;
    for (std::size_t i = 0; i < examples.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += examples[i];
    }
    return text;
}

std::string PromptCandidate::fallbackName() const {
    if (title && !title->empty()) {
        return *title;
    }
    constexpr std::size_t maximumLength = 32;
    constexpr std::size_t minimumBeforeSpace = 13;
    std::string_view name = tt::trimWhitespaceAndNewlines(representative);
    if (tt::graphemeCountUpTo(name, maximumLength) <= maximumLength) {
        return std::string(name);
    }
    name = tt::graphemePrefix(name, maximumLength);
    std::size_t space = name.rfind(' ');
    if (space != std::string_view::npos &&
        tt::graphemeCount(name.substr(0, space)) >= minimumBeforeSpace) {
        name = name.substr(0, space);
    }
    return std::string(name);
}

namespace CandidateBuilder {

namespace {

constexpr std::string_view correctionMarkers[] = {
    "違う",       "ちがう",     "そうじゃ",     "やめて",   "戻して",   "元に戻", "勝手に",
    "余計な",     "頼んでない", "頼んでいない", "いらない", "要らない", "不要",   "消さないで",
    "触らないで", "変えないで", "だめ",         "ダメ",     "no,",      "nope",   "actually",
    "revert",     "undo",       "stop ",        "don't ",   "do not "};

std::vector<Observation> observationsOf(const PromptRecord* first, const PromptRecord* last) {
    std::vector<Observation> result;
    std::unordered_set<std::string> seen;
    for (const PromptRecord* record = first; record != last; ++record) {
        seen.clear();
        for (std::string& sentence : SentenceIndex::instructions(record->text)) {
            std::string key = SentenceIndex::normalize(sentence);
            if (tt::graphemeCountUpTo(key, SentenceIndex::minimumSentenceLength) <
                    SentenceIndex::minimumSentenceLength ||
                !seen.insert(key).second) {
                continue;
            }
            result.push_back({std::move(key), std::move(sentence), record});
        }
    }
    return result;
}

std::vector<Observation> correctionObservationsOf(const PromptRecord* first,
                                                  const PromptRecord* last) {
    std::vector<Observation> result;
    for (const PromptRecord* record = first; record != last; ++record) {
        if (!record->followsAssistantTurn()) {
            continue;
        }
        std::string_view t = tt::trimWhitespaceAndNewlines(record->text);
        std::size_t length = tt::graphemeCountUpTo(t, maximumCorrectionLength);
        if (length < SentenceIndex::minimumSentenceLength || length > maximumCorrectionLength ||
            tt::hasGraphemeSuffix(t, "？") || tt::hasGraphemeSuffix(t, "?")) {
            continue;
        }
        const std::string lower = tt::lowercased(t);
        if (std::none_of(std::begin(correctionMarkers), std::end(correctionMarkers),
                         [&](std::string_view m) { return lower.find(m) != std::string::npos; })) {
            continue;
        }
        std::string key = SentenceIndex::normalize(t);
        if (tt::graphemeCountUpTo(key, SentenceIndex::minimumSentenceLength) <
            SentenceIndex::minimumSentenceLength) {
            continue;
        }
        result.push_back({std::move(key), std::string(t), record});
    }
    return result;
}

template <typename T> void append(std::vector<T>& to, std::vector<T>&& from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

// Long histories are read in two halves of about equal text, the second on
// another thread; joining the halves in order keeps every result exactly
// what one sequential pass gives. `work` maps a record range to a tuple-like
// pair of observation lists.
template <typename Work>
std::pair<std::vector<Observation>, std::vector<Observation>>
inHalves(const std::vector<PromptRecord>& records, Work work) {
    const PromptRecord* begin = records.data();
    const PromptRecord* end = begin + records.size();
    std::size_t totalBytes = 0;
    for (const PromptRecord& record : records) {
        totalBytes += record.text.size();
    }
    if (records.size() < 256 || totalBytes < (1u << 20) ||
        std::thread::hardware_concurrency() < 2) {
        return work(begin, end);
    }
    const PromptRecord* middle = begin;
    for (std::size_t bytes = 0; middle != end && bytes < totalBytes / 2; ++middle) {
        bytes += middle->text.size();
    }
    std::pair<std::vector<Observation>, std::vector<Observation>> second;
    std::jthread worker; // joins even if the work on this thread throws
    try {
        worker = std::jthread([&] { second = work(middle, end); });
    } catch (const std::system_error&) {
        return work(begin, end); // no thread to be had: one pass does the same
    }
    auto result = work(begin, middle);
    worker.join();
    append(result.first, std::move(second.first));
    append(result.second, std::move(second.second));
    return result;
}

// Counts distinct values among small integer ids without clearing a set for
// every group: a slot holds the round that last saw the id.
class DistinctCounter {
public:
    explicit DistinctCounter(std::size_t ids) : lastRound_(ids, 0) {}
    void startRound() { ++round_; }
    // True the first time the id is seen in the current round.
    bool add(std::size_t id) {
        if (lastRound_[id] == round_) {
            return false;
        }
        lastRound_[id] = round_;
        return true;
    }

private:
    std::vector<std::size_t> lastRound_;
    std::size_t round_ = 0;
};

PromptCandidate clusterCandidate(const std::string& headKey,
                                 const std::vector<const Observation*>& members, CandidateKind kind,
                                 std::size_t conversations) {
    struct Variant {
        std::string_view sentence;
        std::size_t count = 0;
    };
    // Distinct sentences in member order, so the earliest wins a full tie.
    std::vector<Variant> variants;
    std::unordered_map<std::string_view, std::size_t> variantIndex;
    Timestamp earliest = Timestamp::max();
    Timestamp latest = Timestamp::min();
    std::vector<std::string_view> projects;
    for (const Observation* member : members) {
        auto [it, inserted] = variantIndex.try_emplace(member->sentence, variants.size());
        if (inserted) {
            variants.push_back({member->sentence, 0});
        }
        ++variants[it->second].count;
        earliest = std::min(earliest, member->record->timestamp);
        latest = std::max(latest, member->record->timestamp);
        projects.push_back(member->record->projectName());
    }

    const Variant* best = nullptr;
    std::size_t bestLength = 0;
    for (const Variant& variant : variants) {
        if (best == nullptr || variant.count > best->count) {
            best = &variant;
            bestLength = tt::graphemeCount(variant.sentence);
        } else if (variant.count == best->count) {
            std::size_t length = tt::graphemeCount(variant.sentence);
            if (length < bestLength) {
                best = &variant;
                bestLength = length;
            }
        }
    }

    std::string representative(best->sentence);
    std::stable_sort(variants.begin(), variants.end(), [](const Variant& a, const Variant& b) {
        return a.count != b.count ? a.count > b.count : a.sentence < b.sentence;
    });
    PromptCandidate candidate;
    candidate.id = std::string(rawValue(kind)) + ":" + headKey;
    candidate.kind = kind;
    candidate.representative = std::move(representative);
    for (std::size_t i = 0; i < variants.size() && i < maximumExamples; ++i) {
        candidate.examples.emplace_back(variants[i].sentence);
    }
    candidate.occurrences = static_cast<int>(conversations);
    std::sort(projects.begin(), projects.end());
    projects.erase(std::unique(projects.begin(), projects.end()), projects.end());
    candidate.projects.assign(projects.begin(), projects.end());
    candidate.period = DateRange{earliest, latest};
    return candidate;
}

} // namespace

std::vector<Observation> observations(const std::vector<PromptRecord>& records) {
    return inHalves(records,
                    [](const PromptRecord* first, const PromptRecord* last) {
                        return std::pair{observationsOf(first, last), std::vector<Observation>{}};
                    })
        .first;
}

std::vector<PromptCandidate> corrections(const std::vector<PromptRecord>& records) {
    return cluster(correctionObservationsOf(records.data(), records.data() + records.size()),
                   CandidateKind::correction, minimumCorrections);
}

PromptCandidate candidate(const ConventionSection& section) {
    PromptCandidate candidate;
    candidate.id = "convention:" + section.id();
    candidate.kind = CandidateKind::convention;
    candidate.title = section.title;
    candidate.context = section.lead;
    candidate.representative = section.title;
    int bestScore = -1;
    for (const std::string& line : section.lines) {
        int score = ConventionIndex::emphasisScore(line);
        if (score > bestScore) {
            bestScore = score;
            candidate.representative = line;
        }
    }
    for (std::size_t i = 0; i < section.lines.size() && i < maximumExamples; ++i) {
        candidate.examples.push_back(section.lines[i]);
    }
    candidate.occurrences = static_cast<int>(section.lines.size());
    candidate.sourceName = section.sourceName;
    return candidate;
}

std::size_t sessionCount(const std::vector<Observation>& observations) {
    std::unordered_set<std::string_view> sessions;
    for (const Observation& observation : observations) {
        sessions.insert(observation.record->sessionID);
    }
    return sessions.size();
}

std::vector<PromptCandidate> cluster(const std::vector<Observation>& observations,
                                     CandidateKind kind, std::size_t minimum) {
    // Sessions and keys become small integers so that counting is array work.
    std::unordered_map<std::string_view, std::size_t> sessionIds;
    std::vector<std::size_t> sessionOf;
    sessionOf.reserve(observations.size());
    std::unordered_map<std::string_view, std::size_t> groupOf;
    std::vector<std::string> keys;
    std::vector<std::vector<const Observation*>> groups;
    for (const Observation& observation : observations) {
        sessionOf.push_back(
            sessionIds.try_emplace(observation.record->sessionID, sessionIds.size()).first->second);
        auto [it, inserted] = groupOf.try_emplace(observation.key, groups.size());
        if (inserted) {
            keys.push_back(observation.key);
            groups.emplace_back();
        }
        groups[it->second].push_back(&observation);
    }
    auto sessionIndex = [&](const Observation* observation) {
        return sessionOf[static_cast<std::size_t>(observation - observations.data())];
    };

    DistinctCounter counter(sessionIds.size());
    std::vector<std::size_t> groupSessions(groups.size(), 0);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        counter.startRound();
        for (const Observation* observation : groups[g]) {
            groupSessions[g] += counter.add(sessionIndex(observation)) ? 1 : 0;
        }
    }
    std::vector<std::size_t> order(groups.size());
    for (std::size_t g = 0; g < order.size(); ++g) {
        order[g] = g;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return groupSessions[a] != groupSessions[b] ? groupSessions[a] > groupSessions[b]
                                                    : keys[a] < keys[b];
    });
    std::vector<std::string> orderedKeys;
    orderedKeys.reserve(order.size());
    for (std::size_t g : order) {
        orderedKeys.push_back(keys[g]);
    }

    std::vector<PromptCandidate> result;
    std::vector<const Observation*> members;
    for (const KeyCluster& merged : mergeSimilarKeys(orderedKeys)) {
        // A cluster spans no more conversations than its groups together.
        std::size_t bound = 0;
        for (std::size_t member : merged.members) {
            bound += groupSessions[order[member]];
        }
        if (bound < minimum) {
            continue;
        }
        members.clear();
        counter.startRound();
        std::size_t conversations = 0;
        for (std::size_t member : merged.members) {
            for (const Observation* observation : groups[order[member]]) {
                members.push_back(observation);
                conversations += counter.add(sessionIndex(observation)) ? 1 : 0;
            }
        }
        if (conversations >= minimum) {
            result.push_back(
                clusterCandidate(orderedKeys[merged.head], members, kind, conversations));
        }
    }
    return result;
}

std::vector<PromptCandidate> build(const std::vector<PromptRecord>& records,
                                   const std::vector<ConventionSection>& sections) {
    std::vector<std::string> conventionLines;
    for (const ConventionSection& section : sections) {
        conventionLines.insert(conventionLines.end(), section.lines.begin(), section.lines.end());
    }
    // Instructions and corrections come from one pass over the records, and
    // the two kinds are then clustered side by side.
    auto both = inHalves(records, [](const PromptRecord* first, const PromptRecord* last) {
        return std::pair{observationsOf(first, last), correctionObservationsOf(first, last)};
    });
    const std::vector<Observation>& instructionObservations = both.first;
    const std::vector<Observation>& correctionObservations = both.second;
    std::vector<PromptCandidate> corrected;
    auto clusterCorrections = [&] {
        corrected = cluster(correctionObservations, CandidateKind::correction, minimumCorrections);
    };
    std::jthread worker; // joins even if the work on this thread throws
    if (correctionObservations.size() >= 256 && std::thread::hardware_concurrency() >= 2) {
        try {
            worker = std::jthread(clusterCorrections);
        } catch (const std::system_error&) {
            clusterCorrections();
        }
    } else {
        clusterCorrections();
    }
    std::vector<PromptCandidate> repeated =
        cluster(instructionObservations, CandidateKind::repeated, minimumRepeats);
    if (!conventionLines.empty()) {
        const ConventionMatcher matcher(conventionLines);
        for (PromptCandidate& candidate : repeated) {
            if (std::optional<std::size_t> line = matcher.closest(candidate.representative)) {
                candidate.kind = CandidateKind::unfollowedConvention;
                candidate.conventionSource = conventionLines[*line];
                candidate.sourceName.reset();
            }
        }
    }
    if (worker.joinable()) {
        worker.join();
    }

    std::vector<PromptCandidate> result;
    for (const ConventionSection& section : sections) {
        result.push_back(candidate(section));
    }
    append(result, std::move(repeated));
    append(result, std::move(corrected));
    std::stable_sort(result.begin(), result.end(),
                     [](const PromptCandidate& a, const PromptCandidate& b) {
                         if (a.kind != b.kind) {
                             return a.kind < b.kind;
                         }
                         if (a.occurrences != b.occurrences) {
                             return a.occurrences > b.occurrences;
                         }
                         return a.representative < b.representative;
                     });
    return result;
}

} // namespace CandidateBuilder

} // namespace tamsel

std::size_t std::hash<tamsel::PromptCandidate>::operator()(
    const tamsel::PromptCandidate& candidate) const noexcept {
    return tamsel::Hashing::fields(candidate.id, candidate.kind, candidate.title, candidate.context,
                                   candidate.representative, candidate.examples,
                                   candidate.occurrences, candidate.projects, candidate.period,
                                   candidate.conventionSource, candidate.sourceName);
}
