#include "platform/x11/SpareKeyPlan.h"

#include <algorithm>
#include <set>

namespace tamsel {

// Each run reaches as far as the spares do, so the wait before a run (the
// cost) comes as rarely as it can. A full run needs as many characters as
// there are spares: every spare it does not keep is remapped, and only a
// last, shorter run has spares to spare; those left empty go first.
std::vector<SpareKeyPlan::Run> SpareKeyPlan::make(const std::vector<unsigned long>& keysyms,
                                                  std::vector<unsigned long> spares) {
    std::vector<Run> runs;
    if (keysyms.empty()) {
        return runs;
    }
    if (spares.empty()) {
        runs.push_back({keysyms.size(), {}});
        return runs;
    }
    std::size_t begin = 0;
    while (begin < keysyms.size()) {
        // In order of first use within the run.
        std::vector<unsigned long> needed;
        std::size_t end = begin;
        for (; end < keysyms.size(); ++end) {
            const unsigned long keysym = keysyms[end];
            if (keysym == 0 || std::find(needed.begin(), needed.end(), keysym) != needed.end()) {
                continue;
            }
            if (needed.size() == spares.size()) {
                break;
            }
            needed.push_back(keysym);
        }
        // A spare already holding a character the run needs keeps it (the
        // first such spare, should two hold the same).
        std::set<std::size_t> kept;
        std::vector<unsigned long> missing;
        for (unsigned long keysym : needed) {
            auto holder = std::find(spares.begin(), spares.end(), keysym);
            if (holder != spares.end()) {
                kept.insert(static_cast<std::size_t>(holder - spares.begin()));
            } else {
                missing.push_back(keysym);
            }
        }
        std::vector<std::size_t> free;
        for (std::size_t spare = 0; spare < spares.size(); ++spare) {
            if (kept.count(spare) == 0) {
                free.push_back(spare);
            }
        }
        std::stable_partition(free.begin(), free.end(),
                              [&](std::size_t spare) { return spares[spare] == 0; });
        Run run{end, {}};
        for (std::size_t i = 0; i < missing.size(); ++i) {
            spares[free[i]] = missing[i];
            run.remaps.push_back({free[i], missing[i]});
        }
        runs.push_back(std::move(run));
        begin = end;
    }
    return runs;
}

} // namespace tamsel
