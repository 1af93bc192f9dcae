// State of one guard discovery that follows nested includes: the chain of
// headers being read (so that include cycles end) and the answers already
// known for headers that were read to the end of their question.
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
    // Results that did not depend on where the header stood in the chain: a
    // header re-read within one discovery gives the same answer.
    std::unordered_map<std::string, std::string> known;
    // Set when a header was cut off because it was already in the chain.
    bool cutCycle = false;
};

}  // namespace vimbo::analysis
