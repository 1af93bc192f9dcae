// State of one guard discovery that follows nested includes: the chain of
// headers being read (so that include cycles end) and the answer already
// found for every header read so far, so that each is read at most once.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace vimbo::analysis {

struct GuardSearch {
    // Headers nested deeper than this are not followed; it keeps the number
    // of headers held open bounded even for chains of distinct names.
    static constexpr std::size_t kMaxDepth = 200;

    std::vector<std::string> chain;
    // Without it, headers that include one another (#pragma once headers do)
    // would be read once for every path through them: exponentially often.
    // Inside a cycle the answer can depend on where the cycle was entered;
    // the first one found stands for the rest of the discovery.
    std::unordered_map<std::string, std::string> known;
};

}  // namespace vimbo::analysis
