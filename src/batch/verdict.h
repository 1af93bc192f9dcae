// What --verify found, as data: the counts its summary line gives, for the
// reports tools read.
#pragma once

#include <cstddef>

namespace vimbo::batch {

struct Verdict {
    bool made = false;           // the verification ran to a verdict
    bool holds = false;          // the rewrite stands
    bool restored = false;       // it did not, and every rewritten file is back as it was
    std::size_t units = 0;       // translation units in the database
    std::size_t verified = 0;    // compared, and reading a rewritten file
    std::size_t differing = 0;   // preprocessed to other text
    std::size_t linesMoved = 0;  // differing only where __LINE__ expands
    std::size_t unverified = 0;  // could not be checked
};

}  // namespace vimbo::batch
